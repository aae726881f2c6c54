#include "CImgWindow.h"

#include "GLWidget.h"

#include <QIcon>

CImgWindow::CImgWindow(const QString& startPath, QWidget* parent)
    : QMainWindow(parent), mGLWidget(new GLWidget(this)), mStartPath(startPath) {
    setWindowTitle("Ruvello");
    QIcon icon;
    for (const char* name : {":/images/icon.png", ":/images/icon-32.png", ":/images/icon-48.png",
                             ":/images/icon-64.png"})
        icon.addFile(name);
    setWindowIcon(icon);
    resize(746, 650);
    setCentralWidget(mGLWidget);
}
