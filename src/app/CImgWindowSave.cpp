// Saving the picture list: to its own file, under another name, over a list that another
// program changed only when the user says so, and into the recovery file when the
// program has to end without the user's answer.
#include "CImgWindow.h"

#include "CImageListModel.h"
#include "diagnostics.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTreeView>

#include <csignal>

namespace {
// A shutdown asks once and then kills; a user who means it asks again. At the third
// SIGTERM the program ends without waiting for an answer.
constexpr int kTermSignalsToEnd = 3;
}  // namespace

bool CImgWindow::maybeSave() {
    if (!mImageListModel->isModified())
        return true;
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, tr("Unsaved changes"), tr("The picture list has changes that are not saved."),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Discard)
        return true;
    if (answer != QMessageBox::Save)
        return false;
    return save();
}

bool CImgWindow::isRecoveredCopy() const {
    return mImageListModel->hasListFile() && mImageListModel->listFile() == recovery::copyPath();
}

bool CImgWindow::save() {
    // A folder has no list file yet, and a recovered list's copy is no place to keep it.
    if (!mImageListModel->hasListFile() || isRecoveredCopy())
        return saveAs();
    // Only a file holds what another program wrote; a folder in the list's place merely
    // makes the write fail, which says so.
    if (mImageListModel->listChangedOnDisk() && QFileInfo(mImageListModel->listFile()).isFile()) {
        bool saveInstead = false;
        if (!overwriteChangedList(&saveInstead))
            return saveInstead && saveAs();
    }
    return writeListFile(mImageListModel->listFile(), false);
}

bool CImgWindow::overwriteChangedList(bool* saveInstead) {
    QMessageBox box(QMessageBox::Warning, tr("Save"),
                    tr("The list %1 was changed by another program since it was opened.")
                        .arg(mImageListModel->listFile()),
                    QMessageBox::NoButton, this);
    box.setInformativeText(
        tr("Overwrite replaces it with the list as it shows here, and what the other program "
           "wrote is lost."));
    QPushButton* overwrite = box.addButton(tr("Overwrite"), QMessageBox::DestructiveRole);
    QPushButton* elsewhere = box.addButton(tr("Save As…"), QMessageBox::AcceptRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(elsewhere);
    box.exec();
    *saveInstead = box.clickedButton() == elsewhere;
    return box.clickedButton() == overwrite;
}

bool CImgWindow::saveAs() {
    // The dialog starts at the list itself, or where a recovered list was, or in the folder
    // last used for lists.
    QString start = QSettings().value("lastOpenFolder", QDir::currentPath()).toString();
    if (isRecoveredCopy() && mRecovered)
        start = mRecovered->listFile.isEmpty() ? mRecovered->folder : mRecovered->listFile;
    else if (mImageListModel->hasListFile())
        start = mImageListModel->listFile();
    // The dialog adds the suffix itself, so that it asks before replacing the very file
    // that is written.
    QFileDialog dialog(this, tr("Save Picture List"), start, tr("Image Lists (*.csv)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("csv");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    return writeListFile(dialog.selectedFiles().constFirst(), true);
}

bool CImgWindow::writeListFile(const QString& target, bool newFile) {
    try {
        if (newFile)
            mImageListModel->saveAs(target);
        else
            mImageListModel->save();
    } catch (const char*) {
        const QString why = mImageListModel->saveError();
        const QString text =
            why.isEmpty() ? tr("Could not write %1; the list is not saved").arg(target)
                          : tr("Could not write %1: %2; the list is not saved").arg(target, why);
        RUV_WARNING(text.toStdString());
        report(text);
        QMessageBox::warning(this, tr("Save"), text);
        return false;
    }
    report(tr("Saved %1").arg(target));
    if (newFile)
        QSettings().setValue("lastOpenFolder", QFileInfo(target).absolutePath());
    mRecovered.reset();
    // What the recovery file kept is saved now.
    if (mRecoveryWritten) {
        recovery::remove();
        mRecoveryWritten = false;
    }
    return true;
}

bool CImgWindow::keepUnsavedList() {
    SRecovery kept;
    if (isRecoveredCopy() && mRecovered) {
        kept = *mRecovered;  // still the list it was before
    } else {
        kept.listFile = mImageListModel->listFile();
        kept.folder = mImageListModel->dirPath();
    }
    kept.written = QDateTime::currentDateTime();
    const QString copy = recovery::copyPath();
    QDir().mkpath(QFileInfo(copy).absolutePath());
    std::string why;
    try {
        mImageListModel->writeCopy(copy);
    } catch (const char*) {
        RUV_WARNING("cannot keep the unsaved picture list in " + copy.toStdString() + ": " +
                    mImageListModel->saveError().toStdString());
        return false;
    }
    if (!recovery::writeNote(kept, &why)) {
        RUV_WARNING("cannot keep the unsaved picture list: " + why);
        return false;
    }
    mRecoveryWritten = true;
    consoleLine("ruvello: the unsaved picture list is kept in " + copy.toStdString() +
                " for the next start");
    return true;
}

void CImgWindow::terminationSignal(int signalNumber) {
    if (mEnding)
        return;
    const bool term = signalNumber == SIGTERM;
    // A shutdown sends SIGTERM and soon after kills what still runs: the unsaved list is
    // kept at once, whatever the answer to the question will be.
    if (term) {
        ++mTermSignals;
        if (mImageListModel->isModified())
            keepUnsavedList();
    }
    if (term && mTermSignals >= kTermSignalsToEnd) {
        mEnding = true;
        consoleLine("ruvello: ending without the answer after the third SIGTERM");
        // Every event loop ends, the question's too; no dialog opens after this.
        QCoreApplication::exit(0);
        return;
    }
    if (QApplication::activeModalWidget()) {
        consoleLine(
            "ruvello: a question in the window waits for an answer; the third SIGTERM "
            "ends the program, keeping unsaved changes for the next start");
        return;
    }
    if (close())
        QCoreApplication::quit();
}

void CImgWindow::offerRecovery() {
    const std::optional<SRecovery> kept = recovery::find();
    if (!kept)
        return;
    QMessageBox box(QMessageBox::Question, tr("Unsaved picture list"),
                    tr("Recover the unsaved picture list from %1?")
                        .arg(QLocale().toString(kept->written, QLocale::ShortFormat)),
                    QMessageBox::NoButton, this);
    box.setInformativeText(
        kept->listFile.isEmpty()
            ? tr("The pictures of %1, with changes that were not saved when the program had "
                 "to end.")
                  .arg(kept->folder)
            : tr("The list %1, with changes that were not saved when the program had to end.")
                  .arg(kept->listFile));
    QPushButton* open = box.addButton(tr("Open"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(tr("Discard"), QMessageBox::DestructiveRole);
    box.setDefaultButton(open);
    box.exec();
    // Closed without an answer, it is offered again at the next start.
    if (box.clickedButton() == discard)
        recovery::remove();
    else if (box.clickedButton() == open)
        openRecovered(*kept);
}

void CImgWindow::openRecovered(const SRecovery& kept) {
    if (!maybeSave())
        return;
    try {
        mImageListModel->loadCopy(recovery::copyPath());
    } catch (const char*) {
        const QString text = tr("Could not read %1").arg(recovery::copyPath());
        RUV_WARNING(text.toStdString());
        report(text);
        return;
    }
    // The rows live in the window now, unsaved: closing asks, and an end without an
    // answer keeps them again.
    mRecovered = kept;
    recovery::remove();
    mTitle = "Ruvello";
    updateTitle();
    if (!kept.folder.isEmpty() && QFileInfo(kept.folder).isDir())
        selectFolder(kept.folder);
    if (!mListView->currentIndex().isValid() && mImageListModel->rowCount() > 0)
        onn_listModel_rowsInserted(QModelIndex(), 0, 0);
    report(tr("Recovered the unsaved picture list; Save asks where it goes"));
}
