// Turning photos a quarter turn from the way they show, and the actions of the Edit menu
// that work on the files themselves: turning, moving to the trash and putting back.
#include "CImgWindow.h"

#include "CImageListModel.h"
#include "GLWidget.h"
#include "diagnostics.h"
#include "exif.h"
#include "exifOrientation.h"
#include "orientation.h"

#include <QAction>
#include <QTreeView>

QList<QAction*> CImgWindow::buildFileActions(QWidget* edit) {
    QAction* right =
        makeAction("actionRotate_Right", "Rotate Right", ":/images/orientation6.png", "Ctrl+R");
    QAction* left =
        makeAction("actionRotate_Left", "Rotate Left", ":/images/orientation8.png", "Ctrl+Shift+R");
    QAction* trash = makeAction("actionMove_to_Trash", "Move to Trash", nullptr, "Del");
    QAction* undo = makeAction("actionUndo", "Undo", nullptr, "Ctrl+Z");
    right->setToolTip(tr("Turn the selected photos a quarter turn clockwise (Ctrl+R)"));
    left->setToolTip(tr("Turn the selected photos a quarter turn anticlockwise (Ctrl+Shift+R)"));
    trash->setToolTip(tr("Move the current photo to the trash (Delete)"));
    undo->setToolTip(tr("Put the photo last moved to the trash back where it was (Ctrl+Z)"));
    undo->setEnabled(false);
    connect(right, &QAction::triggered, this, [this] { turnSelected(true); });
    connect(left, &QAction::triggered, this, [this] { turnSelected(false); });
    connect(trash, &QAction::triggered, this, &CImgWindow::trashCurrent);
    connect(undo, &QAction::triggered, this, &CImgWindow::undoTrash);
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    edit->insertActions(edit->actions().value(0), {undo, trash, separator});
    edit->addActions({right, left});
    return {left, right};
}

void CImgWindow::turnSelected(bool right) {
    if (!turningStereoAgreed())
        return;
    writeOrientations([right](int now) { return right ? turnedRight(now) : turnedLeft(now); },
                      tr("%1 files not turned; %2"),
                      right ? tr("%1 file(s) turned right") : tr("%1 file(s) turned left"));
}
