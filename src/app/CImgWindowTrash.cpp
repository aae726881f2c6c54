// Delete moves the current photo to the desktop's trash, as file managers do, and Undo
// puts it back where it was; an MPO goes as the one file it is. A list keeps the row of
// a photo that went, shown missing, so that putting it back brings the row back too.
#include "CImgWindow.h"

#include "CImageListModel.h"
#include "diagnostics.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <QTreeView>

namespace {
const char kAskKey[] = "confirm/moveToTrash";
}

void CImgWindow::trashCurrent() {
    const QModelIndex current = mListView->currentIndex();
    if (!current.isValid())
        return;
    const QString path = mImageListModel->fullPath(current);
    const QFileInfo info(path);
    if (!info.exists()) {
        report(tr("%1 is gone already").arg(info.fileName()));
        return;
    }
    QSettings settings;
    if (settings.value(kAskKey, true).toBool()) {
        QMessageBox box(QMessageBox::Question, tr("Move to Trash"),
                        tr("Move %1 to the trash?").arg(info.fileName()),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setDefaultButton(QMessageBox::Yes);
        box.setInformativeText(tr("Edit ▸ Undo puts it back."));
        auto* dontAsk = new QCheckBox(tr("Do not ask again"), &box);
        box.setCheckBox(dontAsk);
        if (box.exec() != QMessageBox::Yes)
            return;
        if (dontAsk->isChecked())
            settings.setValue(kAskKey, false);
    }
    QFile file(path);
    if (!file.moveToTrash()) {
        const QString text =
            tr("Could not move %1 to the trash: %2").arg(info.fileName(), file.errorString());
        RUV_WARNING(text.toStdString());
        report(text);
        return;
    }
    // Where the trash keeps it now.
    mTrashed.append({info.absoluteFilePath(), file.fileName()});
    if (QAction* undo = findChild<QAction*>("actionUndo"))
        undo->setEnabled(true);
    report(tr("%1 moved to the trash").arg(info.fileName()));
}

void CImgWindow::undoTrash() {
    if (mTrashed.isEmpty())
        return;
    const auto [original, trashed] = mTrashed.takeLast();
    if (QAction* undo = findChild<QAction*>("actionUndo"))
        undo->setEnabled(!mTrashed.isEmpty());
    const QString name = QFileInfo(original).fileName();
    // Never over a file that took the old name meanwhile.
    if (QFileInfo::exists(original) || !QFile::rename(trashed, original)) {
        const QString text = tr("Could not put %1 back from the trash").arg(name);
        RUV_WARNING(text.toStdString());
        report(text);
        return;
    }
    // The trash's record of the file: <trash>/info/<name in the trash>.trashinfo.
    const QFileInfo inTrash(trashed);
    QFile::remove(inTrash.dir().absoluteFilePath("../info/" + inTrash.fileName() + ".trashinfo"));
    report(tr("%1 put back from the trash").arg(name));
    selectWhenListed(original);
}

void CImgWindow::selectWhenListed(const QString& path, int tries) {
    selectFile(path);
    const QModelIndex current = mListView->currentIndex();
    const QString wanted = QFileInfo(path).canonicalFilePath();
    if (current.isValid() &&
        QFileInfo(mImageListModel->fullPath(current)).canonicalFilePath() == wanted)
        return;
    // The list follows its folder a moment after the file arrives.
    if (tries > 0)
        QTimer::singleShot(100, this, [this, path, tries] { selectWhenListed(path, tries - 1); });
}
