#include "CImageListModel.h"

#include "diagnostics.h"
#include "listpaths.h"

#include <QBrush>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QFileSystemWatcher>
#include <QMimeData>
#include <QPalette>
#include <QSet>
#include <QTimer>
#include <QUrl>

#include <sys/stat.h>
#include <fcntl.h>
#include <sys/time.h>

#include <algorithm>
#include <utility>

namespace {

const char* const kUndefined = "undefined";
const char* const kMissing = "missing: the file is gone";
// Every row gets the same background within a band, so that long lists are easier
// to follow than with alternating single rows.
constexpr int kBandRows = 100;

}  // namespace

const QString& SImageEntry::operator[](int column) const {
    static const QString none;
    switch (column) {
        case CImageListModel::ColFilename:
            return mFilename;
        case CImageListModel::ColPath:
            return mPath;
        case CImageListModel::ColDate:
            return mDate;
        case CImageListModel::ColCamera:
            return mCamera;
        default:
            return none;
    }
}

CImageListModel::CImageListModel(QObject* parent) : QAbstractItemModel(parent) {
    mWatcher = new QFileSystemWatcher(this);
    mSettle = new QTimer(this);
    mSettle->setSingleShot(true);
    mSettle->setInterval(kFolderSettleMs);
    // A copy from a card or an export changes the folder many times within a moment:
    // the list looks once the burst is over.
    connect(mWatcher, &QFileSystemWatcher::directoryChanged, mSettle, qOverload<>(&QTimer::start));
    connect(mSettle, &QTimer::timeout, this, &CImageListModel::followFolder);
}

CImageListModel::~CImageListModel() {
    stopFill();
}

QModelIndex CImageListModel::index(int row, int column, const QModelIndex& parent) const {
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    // The identifier names the entry, not the row, and is never 0.
    return createIndex(row, column, quintptr(mOrder[size_t(row)]) + 1);
}

QModelIndex CImageListModel::parent(const QModelIndex&) const {
    return QModelIndex();
}

int CImageListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(mOrder.size());
}

int CImageListModel::columnCount(const QModelIndex&) const {
    return ColumnCount;
}

QVariant CImageListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return QVariant();
    const SImageEntry* entry = entryAt(index.row());
    if (!entry)
        return QVariant();
    switch (role) {
        case Qt::DisplayRole:
            // No tag, no file and not read yet all show as nothing: only codes mean
            // something to the user.
            if (index.column() == ColOrientation && mBusy.contains(mOrder[size_t(index.row())]))
                return QStringLiteral("…");
            if (index.column() == ColOrientation)
                return entry->mOrientation >= 1 && entry->mOrientation <= 8
                           ? QVariant(entry->mOrientation)
                           : QVariant(QString());
            if (index.column() == ColDate && capturedate::isZeroDate(entry->mDate))
                return QString();
            return (*entry)[index.column()];
        case OrientationCodeRole:
            return entry->mOrientation;
        case Qt::ForegroundRole:
            if (!entry->mMissing)
                return QVariant();
            return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        case Qt::ToolTipRole:
            return entry->mMissing ? QVariant(tr(kMissing)) : QVariant();
        case Qt::BackgroundRole: {
            const QPalette palette = QGuiApplication::palette();
            return (index.row() / kBandRows) % 2 ? palette.brush(QPalette::AlternateBase)
                                                 : palette.brush(QPalette::Base);
        }
        default:
            return QVariant();
    }
}

QVariant CImageListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const titles[ColumnCount] = {"Filename", "Path", "Date", "Orientation",
                                                    "Camera"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return QVariant();
    return QString::fromLatin1(titles[section]);
}

QStringList CImageListModel::mimeTypes() const {
    return {QStringLiteral("text/uri-list")};
}

QMimeData* CImageListModel::mimeData(const QModelIndexList& indexes) const {
    QList<QUrl> urls;
    for (const QModelIndex& index : indexes) {
        if (index.column() == ColFilename)
            urls.append(QUrl::fromLocalFile(fullPath(index)));
    }
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    return mime;
}

bool CImageListModel::dropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                   const QModelIndex&) {
    if (!data)
        return false;
    const QList<QUrl> urls = data->urls();
    bool ok = true;
    QList<QByteArray> copied;
    for (const QUrl& url : urls) {
        const QString local = url.toLocalFile();
        const QString name = QFileInfo(local).fileName();
        // QFile::copy never overwrites, so a file of the current folder cannot be
        // dropped onto its own list. Before any folder was chosen there is no target;
        // the root folder is none.
        const QString target = mDirPath + QLatin1Char('/') + name;
        if (mDirPath.isEmpty() || !QFile::copy(local, target)) {
            RUV_WARNING(("Could not copy " + local).toStdString());
            emit copyFailed(local);
            ok = false;
            continue;
        }
        // The file time is one of the sources of a capture date: the copy keeps it.
        struct stat source;
        if (::stat(QFile::encodeName(local).constData(), &source) == 0) {
            const timespec times[2] = {source.st_atim, source.st_mtim};
            if (::utimensat(AT_FDCWD, QFile::encodeName(target).constData(), times, 0) != 0)
                RUV_WARNING(("Could not keep the file time of " + target).toStdString());
        }
        copied.append(QFile::encodeName(name));
    }
    if (!urls.isEmpty()) {
        if (appendNew(copied, relativePath(mDirPath), true) > 0)
            setModified(true);
        emit numberPopulated(rowCount());
        sortItems();
        startFill();
    }
    return ok;
}

Qt::DropActions CImageListModel::supportedDropActions() const {
    // Dropped files are copied, never moved: the source keeps its picture.
    return Qt::CopyAction;
}

Qt::ItemFlags CImageListModel::flags(const QModelIndex& index) const {
    // The space below the rows, and an empty list, take drops too.
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled | Qt::ItemIsEnabled;
}

void CImageListModel::sort(int column, Qt::SortOrder order) {
    mSortColumn = column;
    mSortAscending = order == Qt::AscendingOrder;
    sortItems();
}

QString CImageListModel::fullPath(const QModelIndex& index) const {
    SImageEntry entry;
    entry.mFilename = data(this->index(index.row(), ColFilename)).toString();
    entry.mPath = data(this->index(index.row(), ColPath)).toString();
    return fullPath(entry);
}

QString CImageListModel::fullPath(const SImageEntry& entry) const {
    return listpath::resolve(mBasePath, entry.mPath, entry.mFilename);
}

QByteArray CImageListModel::filePath(const QModelIndex& index) const {
    const SImageEntry* entry = entryAt(index.row());
    return entry ? filePath(*entry) : QByteArray();
}

QByteArray CImageListModel::filePath(const SImageEntry& entry) const {
    return folderPath(entry) + entry.mNativeName;
}

QByteArray CImageListModel::folderPath(const SImageEntry& entry) const {
    // Folders chosen in the folder tree are text; a list may name one by bytes that no
    // text holds, as a file's own name may be such bytes.
    if (!entry.mNativePath.isEmpty())
        return listpath::nativeFolder(mBasePath, entry.mNativePath);
    return QFile::encodeName(listpath::resolve(mBasePath, entry.mPath, QString()));
}

void CImageListModel::setOrientation(const QModelIndex& index, int orientation) {
    SImageEntry* entry = entryAt(index.row());
    if (!entry || entry->mOrientation == orientation)
        return;
    entry->mOrientation = orientation;
    entry->mChanged = true;
    setModified(true);
    const QModelIndex cell = this->index(index.row(), ColOrientation);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

bool CImageListModel::canWriteOrientation(const QModelIndex& index) const {
    const SImageEntry* entry = entryAt(index.row());
    if (!entry || entry->mMissing)
        return false;
    if (entry->mExifRead)
        return !entry->mNoJpeg;
    for (const char* suffix : {".jpg", ".jpeg", ".mpo"})
        if (entry->mNativeName.toLower().endsWith(suffix))
            return true;
    return false;
}

void CImageListModel::setBusy(const QModelIndex& index, bool busy) {
    if (!index.isValid() || index.row() >= rowCount())
        return;
    const int position = mOrder[size_t(index.row())];
    int& writes = mBusy[position];
    writes = std::max(0, writes + (busy ? 1 : -1));
    if (writes == 0)
        mBusy.remove(position);
    const QModelIndex cell = this->index(index.row(), ColOrientation);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

void CImageListModel::watchFolder(const QString& path) {
    if (!mWatcher->directories().isEmpty())
        mWatcher->removePaths(mWatcher->directories());
    mSettle->stop();
    if (!path.isEmpty())
        mWatcher->addPath(path);
}

void CImageListModel::rowsChanged(const std::vector<int>& rows, const QList<int>& roles) {
    for (int row : rows)
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1), roles);
}

void CImageListModel::removeRowsOf(std::vector<int> rows) {
    // From the bottom up, one block of neighbouring rows at a time, so that the rows
    // still to remove keep their numbers.
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    size_t i = 0;
    while (i < rows.size()) {
        size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] - 1)
            ++j;
        const int first = rows[j], last = rows[i];
        beginRemoveRows(QModelIndex(), first, last);
        mOrder.erase(mOrder.begin() + first, mOrder.begin() + last + 1);
        endRemoveRows();
        i = j + 1;
    }
}

void CImageListModel::sortItems() {
    // Rows that are in order already (a folder's names come sorted) change nothing, and
    // the views are not told: they would lay out every row again.
    std::vector<int> order = mOrder;
    const auto less = [this](int a, int b) {
        return mSortAscending ? lessThan(a, b) : lessThan(b, a);
    };
    if (!std::is_sorted(order.begin(), order.end(), less))
        std::stable_sort(order.begin(), order.end(), less);
    // A zero date is no date, and a value not read yet no value: last in either
    // direction, unread ones at the very end.
    if (mSortColumn == ColDate)
        std::stable_partition(order.begin(), order.end(), [this](int position) {
            return !capturedate::isZeroDate(mEntries[size_t(position)].mDate);
        });
    std::stable_partition(order.begin(), order.end(),
                          [this](int position) { return !notFilled(mEntries[size_t(position)]); });
    if (order == mOrder)
        return;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Persistent indexes follow their entry, not their row.
    const QModelIndexList before = persistentIndexList();
    mOrder = std::move(order);
    std::vector<int> rowOf(mEntries.size(), -1);
    for (size_t row = 0; row < mOrder.size(); ++row)
        rowOf[size_t(mOrder[row])] = int(row);
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before) {
        const int position = int(index.internalId()) - 1;
        after.append(createIndex(rowOf[size_t(position)], index.column(), index.internalId()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

bool CImageListModel::notFilled(const SImageEntry& entry) const {
    if (entry.mExifRead)
        return false;
    switch (mSortColumn) {
        case ColDate:
            return entry.mDate == QLatin1String(kUndefined);
        case ColOrientation:
            return entry.mOrientation == 0;
        case ColCamera:
            return entry.mCamera == QLatin1String(kUndefined);
        default:
            return false;
    }
}

bool CImageListModel::lessThan(int a, int b) const {
    const SImageEntry& x = mEntries[size_t(a)];
    const SImageEntry& y = mEntries[size_t(b)];
    // One comparison of each text: a sort of tens of thousands of rows makes a million.
    int order = 0;
    switch (mSortColumn) {
        case ColPath:
            order = x.mPath.compare(y.mPath);
            break;
        case ColDate:
            order = x.mDate.compare(y.mDate);
            break;
        case ColOrientation:
            order = (x.mOrientation > y.mOrientation) - (x.mOrientation < y.mOrientation);
            break;
        case ColCamera:
            order = x.mCamera.compare(y.mCamera);
            break;
        default:
            order = x.mFilename.compare(y.mFilename);
            return order != 0 ? order < 0 : x.mPath < y.mPath;
    }
    return order != 0 ? order < 0 : x.mFilename < y.mFilename;
}

SImageEntry* CImageListModel::entryAt(int row) {
    if (row < 0 || size_t(row) >= mOrder.size())
        return nullptr;
    return &mEntries[size_t(mOrder[size_t(row)])];
}

const SImageEntry* CImageListModel::entryAt(int row) const {
    if (row < 0 || size_t(row) >= mOrder.size())
        return nullptr;
    return &mEntries[size_t(mOrder[size_t(row)])];
}

QString CImageListModel::relativePath(const QString& dir) const {
    return listpath::relativeTo(mBasePath, dir);
}

void CImageListModel::appendEntry(const SImageEntry& entry) {
    mOrder.push_back(int(mEntries.size()));
    mEntries.push_back(entry);
}

int CImageListModel::appendNew(const QList<QByteArray>& names, const QString& path, bool changed,
                               const QStringList* texts) {
    // A folder of thousands of pictures is listed again on every selection in list mode:
    // look the names up in a set instead of walking the list for each of them. Names are
    // compared as bytes: two names that are no UTF-8 may show as the same text.
    QSet<QByteArray> listed;
    for (const SImageEntry& entry : mEntries) {
        if (entry.mPath == path && entry.mNativePath.isEmpty() && !entry.mRemoved)
            listed.insert(entry.mNativeName);
    }
    std::vector<SImageEntry> fresh;
    fresh.reserve(size_t(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QByteArray& name = names[i];
        if (listed.contains(name))
            continue;
        listed.insert(name);
        SImageEntry entry;
        entry.mFilename = texts ? (*texts)[i] : QFile::decodeName(name);
        entry.mNativeName = name;
        entry.mPath = path;
        entry.mChanged = changed;
        fresh.push_back(std::move(entry));
    }
    if (fresh.empty())
        return 0;
    const int first = int(mOrder.size());
    beginInsertRows(QModelIndex(), first, first + int(fresh.size()) - 1);
    for (const SImageEntry& entry : fresh)
        appendEntry(entry);
    endInsertRows();
    return int(fresh.size());
}

void CImageListModel::clearEntries() {
    stopFill();
    stopListing();
    beginResetModel();
    mEntries.clear();
    mOrder.clear();
    mBusy.clear();
    mLeadingLines.clear();
    ++mLoads;
    endResetModel();
}

void CImageListModel::changeDate(int row, const QString& date) {
    SImageEntry* entry = entryAt(row);
    if (!entry || entry->mDate == date)
        return;
    entry->mDate = date;
    entry->mChanged = true;
    setModified(true);
    const QModelIndex cell = index(row, ColDate);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

void CImageListModel::setModified(bool modified) {
    if (mModified == modified)
        return;
    mModified = modified;
    emit modifiedChanged(modified);
}

void CImageListModel::clear() {
    watchFolder(QString());
    clearEntries();
    mListFile.clear();
    mBasePath = mDirPath;
    setModified(false);
}
