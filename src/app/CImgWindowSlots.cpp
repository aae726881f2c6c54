// The main window's slots: folders, the list, dates, orientation, lists and help.
#include "CImgWindow.h"

#include "CImageListModel.h"
#include "CRuvello.h"
#include "CTimeAdjustPanel.h"
#include "GLWidget.h"
#include "diagnostics.h"
#include "exif.h"
#include "exifOrientation.h"
#include "helpTexts.h"
#include "picturekind.h"

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <cmath>

void CImgWindow::updateTitle() {
    setWindowTitle(mTitle + (mImageListModel && mImageListModel->isModified() ? " *" : ""));
}

QModelIndexList CImgWindow::selectedRows() const {
    return mListView->selectionModel() ? mListView->selectionModel()->selectedRows(0)
                                       : QModelIndexList();
}

void CImgWindow::startAt(const QString& startPath) {
    const QString path = startPath.isEmpty() ? QDir::currentPath() : existingStart(startPath);
    const QFileInfo info(path);
    if (info.isFile() && info.suffix().compare("csv", Qt::CaseInsensitive) == 0) {
        if (openList(info.absoluteFilePath()))
            return;
        selectFolder(QDir::currentPath());
        return;
    }
    if (info.isFile()) {
        // A large folder's rows come a moment later.
        if (selectFolder(info.absolutePath()))
            selectWhenListed(info.absoluteFilePath());
        return;
    }
    if (!selectFolder(info.absoluteFilePath()))
        selectFolder(QDir::currentPath());
}

bool CImgWindow::selectFolder(const QString& path) {
    const QModelIndex index = mDirModel->index(QDir::cleanPath(path));
    if (!index.isValid()) {
        report(tr("No such folder: %1").arg(path));
        return false;
    }
    mTreeView->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
        mTreeView->expand(up);
    mTreeView->scrollTo(index, QAbstractItemView::PositionAtCenter);
    mTreeScrollPending = true;
    QTimer::singleShot(3000, this, [this] { mTreeScrollPending = false; });
    return true;
}

void CImgWindow::selectFile(const QString& path) {
    const QString wanted = QFileInfo(path).canonicalFilePath();
    const QString name = QFileInfo(path).fileName(), target = QFileInfo(wanted).fileName();
    for (int row = 0; row < mImageListModel->rowCount(); ++row) {
        const QModelIndex index = mImageListModel->index(row, 0);
        // Only rows of either name are looked up on the disk: a large folder has many rows.
        const QString shown = index.data().toString();
        if (shown != name && shown != target)
            continue;
        if (QFileInfo(mImageListModel->fullPath(index)).canonicalFilePath() == wanted) {
            mListView->selectionModel()->setCurrentIndex(
                index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            mListView->scrollTo(index);
            return;
        }
    }
}

void CImgWindow::moveRow(int step) {
    const QModelIndex current = mListView->currentIndex();
    if (!current.isValid())
        return;
    const int row = std::max(current.row() + step, 0);
    if (row >= mImageListModel->rowCount())
        return;
    const QModelIndex next = mImageListModel->index(row, current.column());
    mListView->selectionModel()->setCurrentIndex(
        next, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    mListView->scrollTo(next);
}

void CImgWindow::onn_treeView_currentChanged(QModelIndex current, QModelIndex previous) {
    if (!current.isValid() || mRestoringFolder)
        return;
    mTreeScrollPending = false;
    // In a folder the list is the folder's: another folder replaces it, and with it any
    // dates changed and not saved. A loaded list only takes the new folder's pictures.
    if (!mImageListModel->hasListFile() && mImageListModel->isModified()) {
        if (!maybeSave()) {
            // Cancelled: everything as it was, the tree's folder too.
            mRestoringFolder = true;
            if (previous.isValid())
                mTreeView->selectionModel()->setCurrentIndex(
                    previous, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            mRestoringFolder = false;
            mLineEdit->setText(mImageListModel->dirPath());
            return;
        }
        // Saved as a list: that list is closed, and the new folder shows its own pictures.
        if (mImageListModel->hasListFile())
            mImageListModel->clear();
    }
    const QString path = mDirModel->filePath(current);
    mLineEdit->setText(path);
    mImageListModel->setDirPath(path);
    reportUnreadableFolder(path);
}

void CImgWindow::on_lineEdit_returnPressed() {
    QString text = mLineEdit->text().trimmed();
    if (text == "~" || text.startsWith("~/"))
        text = QDir::homePath() + text.mid(1);
    if (QDir::isRelativePath(text) && mTreeView->currentIndex().isValid())
        text = QDir(mDirModel->filePath(mTreeView->currentIndex())).filePath(text);
    const QModelIndex index = mDirModel->index(QDir::cleanPath(text));
    if (!index.isValid() || !mDirModel->isDir(index)) {
        // The old folder stays; the user sees why nothing happened.
        report(tr("No such folder: %1").arg(mLineEdit->text()));
        return;
    }
    selectFolder(mDirModel->filePath(index));
    // The path was the way to the folder: the keys go to the pictures again.
    mGLWidget->setFocus();
}

void CImgWindow::onn_listModel_rowsInserted(QModelIndex parent, int, int) {
    if (mListView->currentIndex().isValid())
        return;  // the user's row and selection stay as they are
    if (!mImageListModel->index(0, 0, parent).isValid()) {
        RUV_WARNING("INSERTED BUT INDEX NOT VALID");
        return;
    }
    // The list sorts the new rows next (see selectFirstRowOnceSorted).
    mFirstRowPending = true;
    QTimer::singleShot(0, this, [this] { selectFirstRowOnceSorted(); });
}

void CImgWindow::onn_listView_header_sortIndicatorChanged(int logicalIndex, Qt::SortOrder order) {
    mImageListModel->sort(logicalIndex, order);
    // The row the user was on stays in sight wherever the sort took it.
    mListView->scrollTo(mListView->currentIndex());
}

void CImgWindow::onn_listView_currentChanged(QModelIndex current, QModelIndex previous) {
    if (!current.isValid()) {
        updateActions();
        return;
    }
    // Everything that follows the picture changes with it, before anything asks.
    mCurrentFile = mImageListModel->fullPath(current);
    mCurrentBytes = mImageListModel->filePath(current);
    mCurrentShown = mCurrentStereo = false;
    updateActions();
    mGLWidget->loadPicture(mCurrentBytes);
    mGLWidget->setReadAhead(readAheadFile(current.row(), previous.isValid() ? previous.row() : -1));
}

QByteArray CImgWindow::readAheadFile(int current, int previous) const {
    // Paging forward reads the next row ahead, paging back the previous one.
    const int row = previous > current ? current - 1 : current + 1;
    if (row < 0 || row >= mImageListModel->rowCount())
        return {};
    return mImageListModel->filePath(mImageListModel->index(row, 0));
}

void CImgWindow::imageLoaded(QString filename, int width, int height) {
    // A picture that cannot be read has no size to tell.
    mTitle = width > 0 && height > 0
                 ? QString("Ruvello - (%1x%2) %3").arg(width).arg(height).arg(filename)
                 : QString("Ruvello - %1").arg(filename);
    updateTitle();
}

namespace {

// Rounded first, so that a value just below zero does not show as "-0.0".
QString rounded(double value, int decimals) {
    const double unit = std::pow(10.0, decimals);
    return QLocale::system().toString(std::round(value * unit) / unit + 0.0, 'f', decimals);
}

// The depth row of the Exif panel, also said in the status bar.
QString depthText(const SStereoAlignment& a) {
    const SDepthBudget budget = depthBudget(a);
    QString text = CImgWindow::tr("near %1 %, far %2 %, total %3 % of the width")
                       .arg(rounded(budget.mNear, 1))
                       .arg(rounded(budget.mFar, 1))
                       .arg(rounded(budget.mTotal, 1));
    // Eyes fuse a depth of about a thirtieth of the picture's width without strain.
    if (budget.mTooDeep)
        text += CImgWindow::tr("; more depth than is comfortable to view (3.3 %)");
    if (budget.mTooNear)
        text += CImgWindow::tr(
            "; the nearest object stands more than 1 % of the width in front of the "
            "screen");
    return text;
}

}  // namespace

void CImgWindow::pictureShown(const SShownPicture& shown) {
    if (QByteArray::fromStdString(shown.file) != mCurrentBytes)
        return;  // not the row the list has now
    mCurrentShown = true;
    mCurrentStereo = shown.stereo;
    fillExifTable(shown.info);
    // The stereo camera's own parallax, where its maker note states one.
    QTreeWidgetItem* parallax = mExifTable->topLevelItem(3);
    const SCameraParallax& camera = shown.parallax;
    const bool nintendo = camera.mSource == "Nintendo";
    parallax->setText(0, !camera.mFound ? QString() : nintendo ? "0x1101" : "0xB211");
    parallax->setText(2, camera.mFound ? QString("%1 (%2)")
                                             .arg(camera.mValue, 0, 'g', 6)
                                             .arg(QString::fromStdString(camera.mSource))
                                       : QString());
    // The depth of the pair as aligned, for planning the next shot.
    if (mExifTable->topLevelItemCount() < 5)
        new QTreeWidgetItem(mExifTable);
    QTreeWidgetItem* depth = mExifTable->topLevelItem(4);
    depth->setText(1, tr("Depth"));
    const bool measured = shown.aligned && shown.alignment.mOk && !shown.alignment.mFromParallax;
    depth->setText(2, measured ? depthText(shown.alignment) : QString());
    updateActions();
    if (shown.state == EShown::Failed || !shown.partial.empty())
        reportPictureTrouble(shown);
    else if (shown.aligned)
        report(alignmentText(shown));
}

QString CImgWindow::alignmentText(const SShownPicture& shown) const {
    const SStereoAlignment& a = shown.alignment;
    if (!a.mOk)
        return tr("not aligned: %1").arg(QString::fromStdString(a.mWhy));
    // In pixels of the picture as decoded, which the alignment may have been measured on
    // a smaller copy of.
    const double scale =
        a.mWidth > 0 && shown.texWidth > 0 ? double(shown.texWidth) / a.mWidth : 1.0;
    double horizontal, vertical;
    displayedOffset(a, &horizontal, &vertical);
    int m[4];
    orientationMatrix(a.mOrientation, m);
    // A mirrored picture shows the turn the other way round.
    const double turn = (m[0] * m[3] - m[1] * m[2]) * a.mRotation * 57.29578;
    QString text = tr("aligned: vertical %1 px, rotation %2°")
                       .arg(rounded(vertical * scale, 1))
                       .arg(rounded(turn, 2));
    if (a.mFromParallax)
        return text + tr(" (the camera's parallax: too few matches)");
    return text + tr(", depth ") + depthText(a);
}

void CImgWindow::updateActions() {
    if (QAction* a = findChild<QAction*>("actionExport_Anaglyph"))
        a->setEnabled(canExportAnaglyph());
    // From what the list knows of the file: choosing a row opens no file here.
    const QModelIndex current = mListView->currentIndex();
    const bool orientable = current.isValid() && mImageListModel->canWriteOrientation(current);
    for (const char* name :
         {"actionOrientation_Top_Left", "actionOrientation_Right_Top",
          "actionOrientation_Left_Bottom", "actionRotate_Right", "actionRotate_Left"})
        if (QAction* a = findChild<QAction*>(name))
            a->setEnabled(orientable);
}

void CImgWindow::loadExifDate() {
    for (const QModelIndex& index : selectedRows())
        mImageListModel->loadExifDate(index);
}

void CImgWindow::loadFSDate() {
    for (const QModelIndex& index : selectedRows())
        mImageListModel->loadFSDate(index);
}

void CImgWindow::addToDate() {
    const CTimeAdjustPanel& p = *mTimePanel;
    for (const QModelIndex& index : selectedRows())
        mImageListModel->addToDate(index, p.spinBox_y->value(), p.spinBox_M->value(),
                                   p.spinBox_d->value(), p.spinBox_h->value(), p.spinBox_m->value(),
                                   p.spinBox_s->value());
}

void CImgWindow::setDate() {
    const CTimeAdjustPanel& p = *mTimePanel;
    const QDate date(p.spinBox_y->value(), p.spinBox_M->value(), p.spinBox_d->value());
    const QTime time(p.spinBox_h->value(), p.spinBox_m->value(), p.spinBox_s->value());
    if (!date.isValid() || !time.isValid() || p.spinBox_y->value() < 1) {
        const QString text = tr("%1-%2-%3 %4:%5:%6 is no date; nothing was set")
                                 .arg(p.spinBox_y->value())
                                 .arg(p.spinBox_M->value())
                                 .arg(p.spinBox_d->value())
                                 .arg(p.spinBox_h->value())
                                 .arg(p.spinBox_m->value())
                                 .arg(p.spinBox_s->value());
        RUV_WARNING(text.toStdString());
        report(text);
        return;
    }
    for (const QModelIndex& index : selectedRows())
        mImageListModel->setDate(index, p.spinBox_y->value(), p.spinBox_M->value(),
                                 p.spinBox_d->value(), p.spinBox_h->value(), p.spinBox_m->value(),
                                 p.spinBox_s->value());
}

void CImgWindow::setOrientation(int orientation) {
    if ((orientation == 6 || orientation == 8) && !turningStereoAgreed())
        return;
    writeOrientations([orientation](int) { return orientation; }, tr("%1 files not changed; %2"),
                      tr("Orientation %1 written into %2 file(s)").arg(orientation));
}

bool CImgWindow::turningStereoAgreed() {
    QStringList stereo;
    for (const QModelIndex& index : selectedRows())
        if (identifyPicture(mImageListModel->filePath(index).toStdString()).mKind ==
            EPictureKind::Mpo)
            stereo << QFileInfo(mImageListModel->fullPath(index)).fileName();
    if (stereo.isEmpty())
        return true;
    // The two views of a stereo file lie side by side; a viewer that honours a quarter
    // turn puts them above each other, where no eye pair can fuse them.
    return QMessageBox::question(
               this, tr("Turn a stereo picture"),
               tr("%1 is a stereo picture. Turned by 90°, its two views will be above each "
                  "other, not side by side, in viewers that turn pictures by their "
                  "orientation. Turn it anyway?")
                   .arg(stereo.size() == 1
                            ? stereo.front()
                            : tr("%1 and %2 more").arg(stereo.front()).arg(stereo.size() - 1)),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void CImgWindow::orientation1() {
    setOrientation(1);
}

void CImgWindow::orientation6() {
    setOrientation(6);
}

void CImgWindow::orientation8() {
    setOrientation(8);
}

bool CImgWindow::maybeSaveCalibration() {
    if (!mGLWidget->calibrating() || !mGLWidget->calibrationUnsaved())
        return true;
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, tr("Unsaved calibration"),
        tr("The calibration matches have changes that are not saved; without saving, the "
           "next start uses the calibration saved before."),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Discard) {
        mGLWidget->discardCalibrationChanges();
        return true;
    }
    if (answer != QMessageBox::Save)
        return false;
    if (mGLWidget->saveCalibration()) {
        report(tr("Calibration saved"));
        return true;
    }
    const QString text = tr("Could not save the calibration; it stays open");
    report(text);
    QMessageBox::warning(this, tr("Calibration"), text);
    return false;
}

void CImgWindow::calibrationToggled(bool on) {
    if (!on && !maybeSaveCalibration()) {
        // Cancelled: calibration goes on, the button says so.
        QAction* calibrate = findChild<QAction*>("actionCalibrate");
        const QSignalBlocker block(calibrate);
        calibrate->setChecked(true);
        return;
    }
    mGLWidget->calibrate(on);
}

bool CImgWindow::openList(const QString& fileName) {
    QFile probe(fileName);
    if (!QFileInfo(fileName).isFile() || !probe.open(QIODevice::ReadOnly)) {
        const QString text = tr("Could not open %1; the list stays as it was").arg(fileName);
        RUV_WARNING(text.toStdString());
        report(text);
        return false;
    }
    probe.close();
    try {
        mImageListModel->loadList(fileName);
    } catch (const char*) {
        const QString text = tr("Could not read %1").arg(fileName);
        RUV_WARNING(text.toStdString());
        report(text);
        return false;
    }
    QSettings().setValue("lastOpenFolder", QFileInfo(fileName).absolutePath());
    const QModelIndex folder = mDirModel->index(QFileInfo(fileName).absolutePath());
    if (!folder.isValid()) {
        RUV_ERROR("INVALID");
        report(tr("The folder of %1 is not in the tree").arg(fileName));
        return true;
    }
    selectFolder(QFileInfo(fileName).absolutePath());
    if (!mListView->currentIndex().isValid() && mImageListModel->rowCount() > 0)
        onn_listModel_rowsInserted(QModelIndex(), 0, 0);
    report(tr("Opened %1").arg(fileName));
    return true;
}

void CImgWindow::clearList() {
    if (!maybeSave())
        return;
    backToTreeFolder();
}

void CImgWindow::backToTreeFolder() {
    mImageListModel->clear();
    mTitle = "Ruvello";
    updateTitle();
    const QModelIndex folder = mTreeView->currentIndex();
    if (folder.isValid())
        mImageListModel->setDirPath(mDirModel->filePath(folder));
}

void CImgWindow::help() {
    QDialog* window = makeHelpWindow(this, QApplication::applicationName());
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowModality(Qt::NonModal);
    window->show();
}

void CImgWindow::helpAbout() {
    QMessageBox::about(
        this, tr("About %1").arg(QApplication::applicationName()),
        aboutBoxText(QApplication::applicationName(), QApplication::applicationVersion()));
}
