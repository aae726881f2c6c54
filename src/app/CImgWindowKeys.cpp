// The keys that users of photo viewers try first, as actions of the View menu: their
// shortcuts work wherever the focus is in the window, while a line edit keeps the keys
// it types with. And the slide show through the list.
#include "CImageListModel.h"
#include "CImgWindow.h"
#include "GLWidget.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QSettings>
#include <QTimer>
#include <QTreeView>

#include <initializer_list>

namespace {

constexpr int kDefaultSlideMs = 4000;
const char* const kSlideIntervalKey = "slideShow/interval";  // milliseconds

int slideInterval() {
    const int ms = QSettings().value(kSlideIntervalKey, kDefaultSlideMs).toInt();
    return ms > 0 ? ms : kDefaultSlideMs;
}

}  // namespace

void CImgWindow::buildKeyActions(QMenu* view) {
    auto make = [this, view](const char* name, const char* text,
                             std::initializer_list<QKeySequence> keys, auto slot) {
        auto* action = new QAction(tr(text), this);
        action->setObjectName(name);
        action->setShortcuts(QList<QKeySequence>(keys));
        addAction(action);
        view->addAction(action);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    view->addSeparator();
    make("actionNext_Picture", "Next Picture", {Qt::Key_Space, Qt::Key_PageDown},
         [this] { moveRow(1); });
    make("actionPrevious_Picture", "Previous Picture", {Qt::Key_Backspace, Qt::Key_PageUp},
         [this] { moveRow(-1); });
    make("actionFirst_Picture", "First Picture", {Qt::Key_Home}, [this] { moveToRow(0); });
    make("actionLast_Picture", "Last Picture", {Qt::Key_End},
         [this] { moveToRow(mImageListModel->rowCount() - 1); });
    view->addSeparator();
    make("actionZoom_In", "Zoom In",
         {QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal), QKeySequence::ZoomIn},
         [this] { mGLWidget->zoomInStep(); });
    make("actionZoom_Out", "Zoom Out", {QKeySequence(Qt::Key_Minus), QKeySequence::ZoomOut},
         [this] { mGLWidget->zoomOutStep(); });
    make("actionFit_Window", "Fit in Window", {QKeySequence(Qt::CTRL | Qt::Key_0)},
         [this] { mGLWidget->fitView(); });
    make("actionActual_Size", "Actual Size", {QKeySequence(Qt::CTRL | Qt::Key_1)},
         [this] { mGLWidget->actualSize(); });
    make("actionFull_Screen", "Full Screen", {Qt::Key_F11},
         [this] { setFullScreenMode(!isFullScreenMode()); });

    QMenu* slides = view->addMenu(tr("Slide Show"));
    slides->setObjectName("menuSlide_Show");
    mSlideShowAction = new QAction(tr("Start Slide Show"), this);
    mSlideShowAction->setObjectName("actionSlide_Show");
    mSlideShowAction->setShortcut(Qt::Key_F5);
    mSlideShowAction->setCheckable(true);
    addAction(mSlideShowAction);
    slides->addAction(mSlideShowAction);
    connect(mSlideShowAction, &QAction::toggled, this, &CImgWindow::setSlideShow);
    slides->addSeparator();
    auto* intervals = new QActionGroup(this);
    for (int seconds : {2, 4, 8, 15, 30}) {
        QAction* choice = slides->addAction(tr("%1 s").arg(seconds));
        choice->setObjectName(QString("actionSlide_Interval_%1").arg(seconds));
        choice->setCheckable(true);
        choice->setChecked(seconds * 1000 == slideInterval());
        intervals->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, seconds] {
            QSettings().setValue(kSlideIntervalKey, seconds * 1000);
            if (mSlideTimer->isActive())
                mSlideTimer->start(slideInterval());
        });
    }
    mSlideTimer = new QTimer(this);
    connect(mSlideTimer, &QTimer::timeout, this, &CImgWindow::slideShowStep);
    // Keys and clicks go to the widgets; the slide show has to hear of them first.
    qApp->installEventFilter(this);
}

void CImgWindow::moveToRow(int row) {
    if (row < 0 || row >= mImageListModel->rowCount())
        return;
    const QModelIndex next = mImageListModel->index(row, 0);
    mListView->selectionModel()->setCurrentIndex(
        next, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    mListView->scrollTo(next);
}

void CImgWindow::setSlideShow(bool on) {
    if (on && mImageListModel->rowCount() == 0)
        on = false;
    if (on == mSlideTimer->isActive() && on == mSlideShowAction->isChecked())
        return;
    if (on) {
        if (!mListView->currentIndex().isValid())
            moveToRow(0);
        mSlideTimer->start(slideInterval());
        report(tr("Slide show: any key or click stops it"));
    } else {
        mSlideTimer->stop();
        report(tr("Slide show stopped"));
    }
    const QSignalBlocker quiet(mSlideShowAction);
    mSlideShowAction->setChecked(on);
}

void CImgWindow::slideShowStep() {
    const int row = mListView->currentIndex().row();
    if (row + 1 >= mImageListModel->rowCount())
        setSlideShow(false);  // the last picture had its time
    else
        moveRow(1);
}

bool CImgWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    const bool key = type == QEvent::ShortcutOverride || type == QEvent::KeyPress;
    if (mSlideTimer && mSlideTimer->isActive()) {
        if (key || type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
            setSlideShow(false);
            // The key's shortcut must not run either: the press that follows is eaten.
            mSlideStopKey = key ? static_cast<QKeyEvent*>(event)->key() : 0;
            event->accept();
            return true;
        }
    } else if (mSlideStopKey != 0 && key) {
        const bool same = static_cast<QKeyEvent*>(event)->key() == mSlideStopKey;
        if (type == QEvent::KeyPress || !same)
            mSlideStopKey = 0;
        if (same) {
            event->accept();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
