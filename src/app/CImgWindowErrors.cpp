// The main window at its first start and where something cannot be read: its size on
// the screen, a start path that does not exist, folders that cannot be listed, pictures
// that cannot be shown (or only in part), and the row a new folder starts at.
#include "CImgWindow.h"

#include "CImageListModel.h"
#include "CRuvello.h"
#include "diagnostics.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QTreeView>

#include <cerrno>
#include <cstring>
#include <dirent.h>

void CImgWindow::placeOnScreen() {
    // A photo viewer wants room: most of the screen it opens on, centred, leaving the
    // desktop's panels and a margin around it.
    const QScreen* where = screen();
    if (!where) {
        resize(746, 650);
        return;
    }
    const QRect area = where->availableGeometry();
    const QSize size(area.width() * 4 / 5, area.height() * 4 / 5);
    resize(size);
    move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}

QString CImgWindow::existingStart(const QString& path) {
    if (path.isEmpty() || QFileInfo::exists(path))
        return path;
    // The nearest folder above it that exists: its parent, or the parent's parent...
    QString opened = QFileInfo(path).absolutePath();
    while (!QFileInfo(opened).isDir() && !QDir(opened).isRoot())
        opened = QFileInfo(opened).absolutePath();
    if (!QFileInfo(opened).isDir())
        opened = QDir::currentPath();
    RUV_WARNING(QFile::encodeName(path).toStdString() + " does not exist; showing " +
                QFile::encodeName(opened).toStdString());
    // After the window is up, without holding up the start: the user sees both.
    auto* box =
        new QMessageBox(QMessageBox::Warning, tr("Ruvello"),
                        tr("%1 does not exist.\nShowing %2 instead.")
                            .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(opened)),
                        QMessageBox::Ok, this);
    box->setObjectName("missingStartPath");
    box->setAttribute(Qt::WA_DeleteOnClose);
    QTimer::singleShot(0, box, [box] { box->open(); });
    return opened;
}

void CImgWindow::reportUnreadableFolder(const QString& path) {
    // The list reads the folder itself and finds nothing in one it may not read: ask the
    // system why, in its words.
    DIR* stream = ::opendir(QFile::encodeName(path).constData());
    if (stream) {
        ::closedir(stream);
        return;
    }
    const QString why = QString::fromLocal8Bit(std::strerror(errno));
    report(tr("Cannot read the folder %1: %2").arg(QDir::toNativeSeparators(path), why));
}

void CImgWindow::reportPictureTrouble(const SShownPicture& shown) {
    const QString name = QFileInfo(mCurrentFile).fileName();
    const std::string& why = shown.state == EShown::Failed ? shown.reason : shown.partial;
    if (!why.empty())
        report(tr("%1: %2").arg(name, QString::fromStdString(why)));
}

void CImgWindow::selectFirstRowOnceSorted() {
    // Rows arrive in the order the folder was read and are sorted right after; the row
    // made current on arrival would move with its picture to wherever it sorts.
    if (!mFirstRowPending)
        return;
    mFirstRowPending = false;
    if (mListView->currentIndex().isValid() || mImageListModel->rowCount() == 0)
        return;
    mListView->selectionModel()->setCurrentIndex(
        mImageListModel->index(0, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    // Sorted by a column that the background fill reads, the first row is a stand-in: once the fill
    // is done and sorted, the first row is the first again, unless the user went elsewhere
    // meanwhile.
    mStandInFirst = mImageListModel->sortColumn() != 0
                        ? mImageListModel->fullPath(mImageListModel->index(0, 0))
                        : QString();
}

void CImgWindow::firstRowAfterFill() {
    const QString standIn = mStandInFirst;
    mStandInFirst.clear();
    const QModelIndex current = mListView->currentIndex();
    if (standIn.isEmpty() || !current.isValid() || mImageListModel->fullPath(current) != standIn)
        return;
    mListView->selectionModel()->setCurrentIndex(
        mImageListModel->index(0, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}
