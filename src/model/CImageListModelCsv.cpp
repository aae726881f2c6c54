// Saving the picture list as a CSV image list and loading such a list.
#include "CImageListModel.h"

#include "CCSVReader.h"
#include "diagnostics.h"
#include "filewrite.h"
#include "listpaths.h"

#include <QFile>
#include <QFileInfo>
#include <QUtf8StringView>

#include <string>

#include <sys/stat.h>
#include <vector>

namespace {

const char kSeparator = ',';
const int kFieldCount = 5;

bool isUtf8(const std::string& field) {
    return QUtf8StringView(field).isValidUtf8();
}

// Lists are written in UTF-8, except for names that the file system keeps in other bytes;
// older lists, and lists made on other systems, may hold Latin-1, which is almost never
// valid UTF-8 as well. Each field is read on its own: a line may hold both.
QString decodeField(const std::string& field) {
    if (isUtf8(field))
        return QString::fromUtf8(field.data(), qsizetype(field.size()));
    return QString::fromLatin1(field.data(), qsizetype(field.size()));
}

QByteArray bytesOf(const std::string& field) {
    return QByteArray(field.data(), qsizetype(field.size()));
}

std::string stdString(const QByteArray& bytes) {
    return std::string(bytes.constData(), size_t(bytes.size()));
}

bool exists(const QByteArray& path) {
    struct stat info;
    return ::stat(path.constData(), &info) == 0;
}

// A row is five fields; comments, blank lines and rows of other shapes are no rows.
bool understood(const CCSVReader& reader) {
    return reader.fieldCount() == kFieldCount && reader.line().compare(0, 1, "#") != 0;
}

}  // namespace

QByteArray CImageListModel::folderField(const SImageEntry& entry) {
    return entry.mNativePath.isEmpty() ? entry.mPath.toUtf8() : entry.mNativePath;
}

void CImageListModel::save() {
    if (mListFile.isEmpty())
        return;
    std::vector<QByteArray> folders;
    folders.reserve(mEntries.size());
    for (const SImageEntry& entry : mEntries)
        folders.push_back(folderField(entry));
    writeList(mListFile, folders);
    setModified(false);
}

void CImageListModel::saveAs(const QString& fileName) {
    // Every folder is expressed anew from the new list's folder, as a later load of that
    // list will resolve it.
    const QString base = listpath::canonicalFolder(QFileInfo(fileName).absolutePath());
    std::vector<QByteArray> folders;
    folders.reserve(mEntries.size());
    for (const SImageEntry& entry : mEntries) {
        if (listpath::isDrivePath(entry.mPath)) {
            folders.push_back(folderField(entry));  // another system's drive: nothing to resolve
        } else if (!entry.mNativePath.isEmpty()) {
            QByteArray folder = listpath::nativeFolder(mBasePath, entry.mNativePath);
            folder.chop(1);
            folders.push_back(listpath::relativeBytes(base, folder));
        } else {
            folders.push_back(
                listpath::relativeTo(base, listpath::folderOf(mBasePath, entry.mPath)).toUtf8());
        }
    }
    writeList(fileName, folders);

    mListFile = fileName;
    mBasePath = base;
    for (size_t i = 0; i < mEntries.size(); ++i) {
        SImageEntry& entry = mEntries[i];
        const std::string field = stdString(folders[i]);
        entry.mPath = decodeField(field);
        entry.mNativePath = isUtf8(field) ? QByteArray() : folders[i];
    }
    if (!mOrder.empty())
        emit dataChanged(index(0, ColPath), index(rowCount() - 1, ColPath), {Qt::DisplayRole});
    setModified(false);
}

void CImageListModel::writeList(const QString& fileName, const std::vector<QByteArray>& folders) {
    // Names go as the file system keeps them, so that the list names the same files again.
    std::string text = mLeadingLines;
    for (int position : mOrder) {
        const SImageEntry& entry = mEntries[size_t(position)];
        text += csvLine({stdString(entry.mNativeName), stdString(folders[size_t(position)]),
                         entry.mDate.toStdString(), std::to_string(entry.mOrientation),
                         entry.mCamera.toStdString()},
                        kSeparator);
        text += entry.mKeptLines;
    }
    // All of the new list or none of it: the old one stays whole when the disk is full.
    std::string why;
    if (!writeFileAtomically(QFile::encodeName(fileName).toStdString(), text, &why)) {
        mSaveError = QString::fromLocal8Bit(why.c_str());
        throw "out.fail";
    }
    mSaveError.clear();
    mListStamp = stampOf(fileName);
    for (SImageEntry& entry : mEntries)
        entry.mChanged = false;
}

CImageListModel::SFileStamp CImageListModel::stampOf(const QString& fileName) {
    SFileStamp stamp;
    struct stat st;
    if (::stat(QFile::encodeName(fileName).constData(), &st) != 0)
        return stamp;
    stamp.mExists = true;
    stamp.mDevice = quint64(st.st_dev);
    stamp.mInode = quint64(st.st_ino);
    stamp.mSize = qint64(st.st_size);
    stamp.mModified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

bool CImageListModel::listChangedOnDisk() const {
    if (mListFile.isEmpty())
        return false;
    const SFileStamp now = stampOf(mListFile);
    // A list that is gone is not written over; one that was not there when it was
    // opened and is there now was made by someone else.
    if (!now.mExists)
        return false;
    return !mListStamp.mExists || now.mDevice != mListStamp.mDevice ||
           now.mInode != mListStamp.mInode || now.mSize != mListStamp.mSize ||
           now.mModified != mListStamp.mModified;
}

void CImageListModel::loadList(const QString& fileName) {
    mListFile = fileName;
    // Relative paths in the list start at the folder the list really lies in. A missing
    // list has no canonical path of its own; its folder may still have one.
    const QFileInfo info(fileName);
    mBasePath = info.exists() ? info.canonicalPath() : QString();
    if (mBasePath.isEmpty())
        mBasePath = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (mBasePath.isEmpty())
        mBasePath = info.absolutePath();
    clearEntries();
    setModified(false);
    mListStamp = stampOf(fileName);

    CCSVReader reader(QFile::encodeName(fileName).constData(), kSeparator);
    std::vector<SImageEntry> entries;
    int notUnderstood = 0;
    while (reader.readLine()) {
        if (!understood(reader)) {
            // Kept as it is, after the row it follows.
            RUV_WARNING("line " + std::to_string(reader.lineNumber()) + " of " +
                        fileName.toStdString() + " not understood: it is kept as it is");
            (entries.empty() ? mLeadingLines : entries.back().mKeptLines) += reader.line() + '\n';
            ++notUnderstood;
            continue;
        }
        SImageEntry entry;
        const std::string name = reader.nextString();
        const std::string folder = reader.nextString();
        entry.mFilename = decodeField(name);
        entry.mPath = decodeField(folder);
        // Bytes that are no UTF-8 name the folder or file of those bytes where there is
        // one; otherwise they are Latin-1 text from another system that names its file in
        // UTF-8.
        if (!isUtf8(folder) && exists(listpath::nativeFolder(mBasePath, bytesOf(folder))))
            entry.mNativePath = bytesOf(folder);
        entry.mNativeName = QFile::encodeName(entry.mFilename);
        if (!isUtf8(name) && exists(folderPath(entry) + bytesOf(name)))
            entry.mNativeName = bytesOf(name);
        entry.mDate = decodeField(reader.nextString());
        entry.mOrientation = reader.nextInt();
        entry.mCamera = decodeField(reader.nextString());
        entries.push_back(entry);
    }
    if (notUnderstood > 0) {
        const QString name = info.fileName();
        const QString text =
            notUnderstood == 1
                ? tr("1 line of %1 was not understood; it is kept as it is").arg(name)
                : tr("%1 lines of %2 were not understood; they are kept as they are")
                      .arg(QString::number(notUnderstood), name);
        // Said once the list is open, after what the opener says about the opening.
        const quint64 load = mLoads;
        QMetaObject::invokeMethod(
            this,
            [this, text, load] {
                if (load == mLoads)
                    emit statusMessage(text);
            },
            Qt::QueuedConnection);
    }
    if (entries.empty())
        return;

    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + int(entries.size()) - 1);
    for (const SImageEntry& entry : entries)
        appendEntry(entry);
    // The insertion is closed before sorting: a layout change inside an open insertion
    // would move persistent indexes twice.
    endInsertRows();
    sortItems();
    startFill();
}

void CImageListModel::writeCopy(const QString& fileName) {
    // A list of its own writes the copy: this one keeps its file, its stamp and what it
    // knows of its unsaved changes.
    CImageListModel copy;
    copy.mEntries = mEntries;
    copy.mOrder = mOrder;
    copy.mBasePath = mBasePath;
    copy.mLeadingLines = mLeadingLines;
    try {
        copy.saveAs(fileName);
    } catch (const char*) {
        mSaveError = copy.mSaveError;
        throw;
    }
}

void CImageListModel::loadCopy(const QString& fileName) {
    loadList(fileName);
    setModified(true);
}
