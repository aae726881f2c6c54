#include "GLWidget.h"

#include <QCursor>

void GLWidget::zoomStep(bool in) {
    QPoint at = devicePosition(mapFromGlobal(QCursor::pos()));
    if (!rect().contains(mapFromGlobal(QCursor::pos())) || !app->showsPicture(at.x(), at.y()))
        at = QPoint(mWindow.mViewWidth / 2, mWindow.mViewHeight / 2);
    app->zoomStep(in, at.x(), at.y());
    update();
}

void GLWidget::zoomInStep() {
    zoomStep(true);
}

void GLWidget::zoomOutStep() {
    zoomStep(false);
}

void GLWidget::fitView() {
    app->fitView();
    update();
}

void GLWidget::actualSize() {
    app->actualSize();
    update();
}
