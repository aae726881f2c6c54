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

// Lists are written in UTF-8; older ones, and lists made on other systems, may hold
// Latin-1, which is almost never valid UTF-8 as well.
QString decodeField(const std::string& field, bool utf8) {
    if (utf8)
        return QString::fromUtf8(field.data(), qsizetype(field.size()));
    return QString::fromLatin1(field.data(), qsizetype(field.size()));
}

}  // namespace

void CImageListModel::save() {
    if (mListFile.isEmpty())
        return;
    std::vector<QString> paths;
    paths.reserve(mEntries.size());
    for (const SImageEntry& entry : mEntries)
        paths.push_back(entry.mPath);
    writeList(mListFile, paths);
    setModified(false);
}

void CImageListModel::saveAs(const QString& fileName) {
    // Every folder is expressed anew from the new list's folder, as a later load of that
    // list will resolve it.
    const QString base = listpath::canonicalFolder(QFileInfo(fileName).absolutePath());
    std::vector<QString> paths;
    paths.reserve(mEntries.size());
    for (const SImageEntry& entry : mEntries) {
        if (listpath::isDrivePath(entry.mPath))
            paths.push_back(entry.mPath);  // another system's drive: nothing to resolve here
        else
            paths.push_back(listpath::relativeTo(base, listpath::folderOf(mBasePath, entry.mPath)));
    }
    writeList(fileName, paths);

    mListFile = fileName;
    mBasePath = base;
    for (size_t i = 0; i < mEntries.size(); ++i)
        mEntries[i].mPath = paths[i];
    if (!mOrder.empty())
        emit dataChanged(index(0, ColPath), index(rowCount() - 1, ColPath), {Qt::DisplayRole});
    setModified(false);
}

void CImageListModel::writeList(const QString& fileName, const std::vector<QString>& paths) {
    std::string text;
    for (int position : mOrder) {
        const SImageEntry& entry = mEntries[size_t(position)];
        text += csvLine({entry.mFilename.toStdString(), paths[size_t(position)].toStdString(),
                         entry.mDate.toStdString(), std::to_string(entry.mOrientation),
                         entry.mCamera.toStdString()},
                        kSeparator);
    }
    // All of the new list or none of it: the old one stays whole when the disk is full.
    std::string why;
    if (!writeFileAtomically(QFile::encodeName(fileName).toStdString(), text, &why)) {
        mSaveError = QString::fromLocal8Bit(why.c_str());
        throw "out.fail";
    }
    mSaveError.clear();
    mListStamp = stampOf(fileName);
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
    while (reader.readLine()) {
        if (reader.fieldCount() < kFieldCount) {
            RUV_WARNING("skipped line " + std::to_string(reader.lineNumber()) + " of " +
                        fileName.toStdString() + ": fewer than " + std::to_string(kFieldCount) +
                        " fields");
            continue;
        }
        const bool utf8 = QUtf8StringView(reader.line()).isValidUtf8();
        SImageEntry entry;
        entry.mFilename = decodeField(reader.nextString(), utf8);
        entry.mNativeName = QFile::encodeName(entry.mFilename);
        entry.mPath = decodeField(reader.nextString(), utf8);
        entry.mDate = decodeField(reader.nextString(), utf8);
        entry.mOrientation = reader.nextInt();
        entry.mCamera = decodeField(reader.nextString(), utf8);
        entries.push_back(entry);
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
}
