// Writing orientations into the selected photos off the GUI thread: exiv2, the copy and
// its checks take a noticeable time per photo, and the window pages on meanwhile. A row
// whose file is being written shows "…" in its Orientation column.
#include "CImgWindow.h"

#include "CImageListModel.h"
#include "CImgWindowWork.h"
#include "GLWidget.h"
#include "diagnostics.h"
#include "exif.h"
#include "exifOrientation.h"

#include <QTreeView>

#include <vector>

namespace {

// What became of one file.
struct SOrientationDone {
    bool mTried = false;  // false: the row was gone, or the window closed first
    bool mWritten = false;
    int mOrientation = 0;
    QString mWhy;
    SExifInfo mInfo;  // the file's record as it is now written
};

}  // namespace

CWindowWork& CImgWindow::work() {
    if (!mWork)
        mWork = new CWindowWork(this);
    return *mWork;
}

void CImgWindow::writeOrientations(const std::function<int(int)>& orientationFor,
                                   const QString& notWritten, const QString& written) {
    SOrientationRun run{orientationFor, notWritten, written, {}};
    for (const QModelIndex& index : selectedRows()) {
        run.mRows << QPersistentModelIndex(index);
        mImageListModel->setBusy(index, true);
    }
    if (run.mRows.isEmpty())
        return;
    work().mOrientationQueue.push_back(run);
    writeNextOrientations();
}

void CImgWindow::writeNextOrientations() {
    CWindowWork& jobs = work();
    if (jobs.mWritingOrientations || jobs.mOrientationQueue.empty())
        return;
    const SOrientationRun run = jobs.mOrientationQueue.front();
    jobs.mOrientationQueue.pop_front();
    jobs.mWritingOrientations = true;
    QStringList paths;
    QList<QByteArray> files;
    for (const QPersistentModelIndex& row : run.mRows) {
        paths << (row.isValid() ? mImageListModel->fullPath(row) : QString());
        files << (row.isValid() ? mImageListModel->filePath(row) : QByteArray());
    }
    const std::function<int(int)> orientationFor = run.mFor;
    jobs.start([=](const std::atomic<bool>& cancelled) {
        auto results = std::make_shared<std::vector<SOrientationDone>>(size_t(files.size()));
        for (qsizetype i = 0; i < files.size() && !cancelled; ++i) {
            SOrientationDone& done = (*results)[size_t(i)];
            if (files[i].isEmpty())
                continue;
            // From the file, not the list: another program may have turned it meanwhile.
            done.mTried = true;
            done.mOrientation = orientationFor(readExif(files[i].toStdString()).mOrientation);
            done.mWritten = writeExifOrientation(paths[i], done.mOrientation, &done.mWhy);
            // One file the user just changed: its record is read again.
            if (done.mWritten)
                done.mInfo = readExif(files[i].toStdString());
        }
        return CBackgroundJobs::Done([this, run, files, results] {
            int written = 0;
            QStringList failures;
            for (qsizetype i = 0; i < files.size(); ++i) {
                const QPersistentModelIndex& row = run.mRows[i];
                const SOrientationDone& done = (*results)[size_t(i)];
                if (row.isValid())
                    mImageListModel->setBusy(row, false);
                if (!done.mTried)
                    continue;
                if (!done.mWritten) {
                    RUV_WARNING(done.mWhy.toStdString());
                    failures << done.mWhy;
                    continue;  // the list and the view keep the old orientation
                }
                ++written;
                mGLWidget->updatePictureInfo(files[i], done.mInfo);
                if (!row.isValid())
                    continue;
                mImageListModel->setOrientation(row, done.mOrientation);
                if (row.row() == mListView->currentIndex().row())
                    fillExifTable(done.mInfo);
            }
            if (!failures.isEmpty())
                report(failures.size() == 1
                           ? failures.front()
                           : run.mNotWritten.arg(failures.size()).arg(failures.front()));
            if (written > 0)
                report(run.mWritten.arg(written));
            work().mWritingOrientations = false;
            writeNextOrientations();
        });
    });
}
