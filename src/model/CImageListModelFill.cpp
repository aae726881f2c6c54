// The Date, Orientation and Camera columns fill in by themselves after a folder is
// listed: a worker thread reads the files' Exif data, and the model takes the results
// on its own thread in batches, so that neither the reading nor the many small updates
// of the views hold up the window. The worker touches no Qt object; it gets file names
// and hands back plain values.
#include "CImageListModel.h"

#include "exif.h"

#include <QDateTime>
#include <QMetaObject>

#include <sys/stat.h>

#include <atomic>
#include <thread>

namespace {

// Results are handed over in batches of this many rows, or sooner when a batch has
// waited this long: few enough for the views to keep up, soon enough to be seen.
constexpr size_t kBatchRows = 2000;
constexpr auto kBatchWait = std::chrono::milliseconds(40);

const char* const kUndefined = "undefined";

struct SFillJob {
    int mEntry;
    QByteArray mPath;
};

}  // namespace

// What the file says, as the list shows it.
struct SFillResult {
    int mEntry;
    QString mDate;
    int mOrientation;
    QString mCamera;  // null when the file names no camera
    bool mNoJpeg;     // no JPEG or MPO content: no orientation can be written into it
};

struct SExifFill {
    std::atomic<bool> mCancelled{false};
    std::thread mThread;
};

namespace capturedate {

// The modification time as a date text, for files without a capture date of their own.
QString fileTimeDate(const QByteArray& path) {
    struct stat info;
    if (::stat(path.constData(), &info) != 0)
        return QString();
    return QDateTime::fromSecsSinceEpoch(info.st_mtime).toString(QLatin1String(kFormat));
}

bool isDatelessStatus(const QString& date) {
    return date == QLatin1String("no jpeg file") ||
           date == QLatin1String("no DateTime in Exif data") ||
           date == QLatin1String("no Exif data");
}

QString cameraText(const SExifInfo& info) {
    const bool make = info.mMake != "unknown", model = info.mModel != "unknown";
    if (!make && !model)
        return QString();
    if (!make || !model)
        return QString::fromStdString(make ? info.mMake : info.mModel);
    return QString::fromStdString(info.mMake + ' ' + info.mModel);
}

}  // namespace capturedate

namespace {

// On the worker: what a Date sort would show (dateless pictures by their file time).
SFillResult readRow(const SFillJob& job) {
    const SExifInfo info = readExif(job.mPath.toStdString());
    SFillResult result{job.mEntry, QString::fromStdString(info.mDateTime), info.mOrientation,
                       capturedate::cameraText(info),
                       info.mDateTime == "no jpeg file" || info.mOrientation == -1};
    if (capturedate::isDatelessStatus(result.mDate)) {
        const QString modified = capturedate::fileTimeDate(job.mPath);
        if (!modified.isNull())
            result.mDate = modified;
    }
    return result;
}

}  // namespace

bool CImageListModel::isFilling() const {
    return mFill != nullptr;
}

void CImageListModel::stopFill() {
    // Batches already on their way carry the old generation and are dropped.
    ++mFillGeneration;
    if (!mFill)
        return;
    mFill->mCancelled = true;
    mFill->mThread.join();  // at most the file being read
    mFill.reset();
}

void CImageListModel::startFill() {
    stopFill();
    std::vector<SFillJob> jobs;
    // A folder's rows share their folder: its path is worked out once.
    QString lastPath;
    QByteArray lastNative, folder;
    bool first = true;
    for (size_t i = 0; i < mEntries.size(); ++i) {
        const SImageEntry& entry = mEntries[i];
        if (entry.mExifRead || entry.mRemoved || entry.mMissing)
            continue;
        if (first || entry.mPath != lastPath || entry.mNativePath != lastNative) {
            folder = folderPath(entry);
            lastPath = entry.mPath;
            lastNative = entry.mNativePath;
            first = false;
        }
        jobs.push_back({int(i), folder + entry.mNativeName});
    }
    if (jobs.empty())
        return;
    mFill = std::make_shared<SExifFill>();
    SExifFill* fill = mFill.get();
    const quint64 generation = mFillGeneration;
    fill->mThread = std::thread([this, fill, generation, jobs = std::move(jobs)] {
        auto batch = std::make_shared<std::vector<SFillResult>>();
        auto since = std::chrono::steady_clock::now();
        for (size_t i = 0; i < jobs.size(); ++i) {
            if (fill->mCancelled)
                return;
            batch->push_back(readRow(jobs[i]));
            const bool last = i + 1 == jobs.size();
            if (!last && batch->size() < kBatchRows &&
                std::chrono::steady_clock::now() - since < kBatchWait)
                continue;
            // Queued to the model's thread; the model joins this thread before it goes,
            // so it is there to take the call.
            QMetaObject::invokeMethod(
                this, [this, generation, batch, last] { applyFill(generation, *batch, last); },
                Qt::QueuedConnection);
            batch = std::make_shared<std::vector<SFillResult>>();
            since = std::chrono::steady_clock::now();
        }
    });
}

void CImageListModel::applyFill(quint64 generation, const std::vector<SFillResult>& results,
                                bool last) {
    if (generation != mFillGeneration)
        return;  // a batch of a listing that was replaced
    // Only fields still unread take the file's values: dates the user set in the meantime
    // stay, and so does the modified flag, since nothing of the user's changed.
    std::vector<char> changed(mEntries.size(), 0);
    bool any = false;
    for (const SFillResult& result : results) {
        SImageEntry& entry = mEntries[size_t(result.mEntry)];
        // A file that went while it was read is read again when it is back.
        if (entry.mMissing)
            continue;
        if (entry.mDate == QLatin1String(kUndefined))
            entry.mDate = result.mDate;
        if (entry.mOrientation == 0)
            entry.mOrientation = result.mOrientation;
        if (entry.mCamera == QLatin1String(kUndefined) && !result.mCamera.isNull())
            entry.mCamera = result.mCamera;
        entry.mNoJpeg = result.mNoJpeg;
        entry.mExifRead = true;
        changed[size_t(result.mEntry)] = 1;
        any = true;
    }
    if (any) {
        int first = -1, lastRow = -1;
        for (size_t row = 0; row < mOrder.size(); ++row) {
            if (!changed[size_t(mOrder[row])])
                continue;
            if (first < 0)
                first = int(row);
            lastRow = int(row);
        }
        if (first >= 0)
            emit dataChanged(index(first, ColDate), index(lastRow, ColCamera), {Qt::DisplayRole});
    }
    if (!last)
        return;
    mFill->mThread.join();
    mFill.reset();
    // Rows sorted by a column that was still empty go where their values put them.
    if (mSortColumn == ColDate || mSortColumn == ColOrientation || mSortColumn == ColCamera)
        sortItems();
    emit fillFinished();
}
