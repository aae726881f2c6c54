// The window's side of the picture list: what the list has to say goes to the status
// bar, and files dropped onto the list are copies, never moves.
#include "CImgWindow.h"

#include "CImageListModel.h"

#include <QDropEvent>
#include <QMimeData>
#include <QStatusBar>
#include <QTreeView>

namespace {

// Takes drops of files before the view does: the view would report the action that the
// drag proposed, and a file manager told "moved" removes its original.
class CCopyDrops : public QObject {
public:
    CCopyDrops(QObject* parent, CImageListModel* model) : QObject(parent), mModel(model) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
            return QObject::eventFilter(watched, event);
        auto* drop = static_cast<QDropEvent*>(event);
        if (!drop->mimeData() || !drop->mimeData()->hasUrls() ||
            !(drop->possibleActions() & Qt::CopyAction))
            return QObject::eventFilter(watched, event);
        drop->setDropAction(Qt::CopyAction);
        if (type != QEvent::Drop ||
            mModel->dropMimeData(drop->mimeData(), Qt::CopyAction, -1, -1, QModelIndex()))
            drop->accept();
        else
            drop->ignore();
        return true;
    }

private:
    CImageListModel* mModel;
};

}  // namespace

void CImgWindow::followListModel() {
    connect(mImageListModel.get(), &CImageListModel::statusMessage, this,
            [this](const QString& text) { report(text); });
    mListView->setDefaultDropAction(Qt::CopyAction);
    mListView->viewport()->installEventFilter(new CCopyDrops(mListView, mImageListModel.get()));
}
