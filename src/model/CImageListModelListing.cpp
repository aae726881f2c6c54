// A folder's names are read on a worker thread: a folder of tens of thousands of pictures
// takes a noticeable part of a second to list, on a network share much longer. The rows
// come when the names are there; a folder that lists within a moment shows at once, so
// that choosing an ordinary folder never shows an empty list first.
#include "CImageListModel.h"

#include "backgroundjobs.h"
#include "listpaths.h"

#include <QFile>
#include <QSet>

#include <algorithm>

#include <chrono>
#include <condition_variable>
#include <mutex>

int CImageListModel::sListingWaitMs = 15;

// The names of one listing, taken by whichever comes first: the wait for a quick folder
// or the queued hand-over.
struct SListing {
    QString mDir;
    bool mFollow = false;  // a look at the listed folder again, not a folder chosen
    std::shared_ptr<std::atomic<bool>> mCancel;
    std::mutex mMutex;
    std::condition_variable mReady;
    bool mDone = false;
    bool mTaken = false;
    QList<QByteArray> mNames;
    QStringList mTexts;  // the names decoded, one for one
};

bool CImageListModel::isListing() const {
    return !mListings.empty();
}

void CImageListModel::setListingWait(int ms) {
    sListingWaitMs = ms;
}

void CImageListModel::setDirPath(const QString& path) {
    mDirPath = path;
    watchFolder(path);
    if (mListFile.isEmpty()) {
        clearEntries();
        mBasePath = path;
        setModified(false);
    }
    listFolder(false);
}

void CImageListModel::followFolder() {
    if (!mDirPath.isEmpty())
        listFolder(true);
}

void CImageListModel::listFolder(bool follow) {
    if (!mJobs)
        mJobs = new CBackgroundJobs(this);
    const quint64 generation = mListGeneration;
    auto listing = std::make_shared<SListing>();
    listing->mDir = mDirPath;
    listing->mFollow = follow;
    mListings.push_back(listing);
    listing->mCancel = mJobs->start([=](const std::atomic<bool>& cancelled) {
        QList<QByteArray> names = listpath::pictureNames(listing->mDir, &cancelled);
        QStringList texts;
        texts.reserve(names.size());
        for (const QByteArray& name : names)
            texts << QFile::decodeName(name);
        {
            const std::lock_guard<std::mutex> lock(listing->mMutex);
            listing->mNames = std::move(names);
            listing->mTexts = std::move(texts);
            listing->mDone = true;
        }
        listing->mReady.notify_all();
        return CBackgroundJobs::Done(
            [this, generation, listing] { takeListing(generation, listing); });
    });
    std::unique_lock<std::mutex> lock(listing->mMutex);
    if (!listing->mReady.wait_for(lock, std::chrono::milliseconds(sListingWaitMs),
                                  [&] { return listing->mDone; }))
        return;
    lock.unlock();
    takeListing(generation, listing);
}

void CImageListModel::takeListing(quint64 generation, const std::shared_ptr<SListing>& listing) {
    QList<QByteArray> names;
    QStringList texts;
    {
        const std::lock_guard<std::mutex> lock(listing->mMutex);
        if (listing->mTaken)
            return;
        listing->mTaken = true;
        names = std::move(listing->mNames);
        texts = std::move(listing->mTexts);
    }
    if (generation != mListGeneration)
        return;  // the rows were replaced meanwhile
    mListings.erase(std::remove(mListings.begin(), mListings.end(), listing), mListings.end());
    if (!listing->mFollow)
        appendListed(listing->mDir, names, texts);
    else if (listing->mDir == mDirPath)
        followNames(names);
}

void CImageListModel::stopListing() {
    ++mListGeneration;
    for (const std::shared_ptr<SListing>& listing : mListings)
        if (listing->mCancel)
            *listing->mCancel = true;
    mListings.clear();
}

void CImageListModel::appendListed(const QString& dir, const QList<QByteArray>& names,
                                   const QStringList& texts) {
    // In list mode the folder's pictures join the loaded list; mBasePath stays the list
    // file's folder. The pictures of that folder itself show with the list when it is
    // opened: that is no change of the user's, and they become part of the list when it
    // is changed or saved. Another folder's pictures joining it are a change.
    if (names.isEmpty())
        return;
    const bool listMode = !mListFile.isEmpty();
    const bool joining =
        listMode && listpath::canonicalFolder(dir) != listpath::canonicalFolder(mBasePath);
    if (appendNew(names, relativePath(dir), joining, &texts) > 0 && joining)
        setModified(true);
    emit numberPopulated(rowCount());
    sortItems();
    startFill();
}

void CImageListModel::followNames(const QList<QByteArray>& names) {
    const QString path = relativePath(mDirPath);
    const bool listMode = !mListFile.isEmpty();
    const QSet<QByteArray> present(names.begin(), names.end());
    // A row goes with its file unless it holds something of the user's that no list has,
    // or belongs to a list: then it stays, shown missing, until the file is back.
    std::vector<int> gone, marked;
    bool refill = false;
    for (size_t row = 0; row < mOrder.size(); ++row) {
        SImageEntry& entry = mEntries[size_t(mOrder[row])];
        if (entry.mPath != path || !entry.mNativePath.isEmpty())
            continue;
        const bool there = present.contains(entry.mNativeName);
        if (there == !entry.mMissing)
            continue;
        if (!there && !listMode && !entry.mChanged) {
            entry.mRemoved = true;
            gone.push_back(int(row));
            continue;
        }
        entry.mMissing = !there;
        marked.push_back(int(row));
        refill = refill || (there && !entry.mExifRead);
    }
    // Told before the removal, while the rows still have these numbers.
    rowsChanged(marked, {Qt::ForegroundRole, Qt::ToolTipRole});
    const bool removed = !gone.empty();
    removeRowsOf(std::move(gone));
    const bool joining =
        listMode && listpath::canonicalFolder(mDirPath) != listpath::canonicalFolder(mBasePath);
    const int added = appendNew(names, path, joining);
    if (added > 0 && joining)
        setModified(true);
    if (added > 0 || removed)
        emit numberPopulated(rowCount());
    if (added > 0)
        sortItems();
    if (added > 0 || refill)
        startFill();
}
