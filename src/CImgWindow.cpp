#include "CImgWindow.h"

#include "GLWidget.h"
#include "exif.h"

#include <QFile>
#include <QFileInfo>
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
    // A picture named on the command line goes straight to the view, which shows it
    // once its GL set-up has run.
    if (!startPath.isEmpty() && QFileInfo(startPath).isFile()) {
        const QByteArray file = QFile::encodeName(startPath);
        mGLWidget->loadPicture(file, readExif(file.toStdString()));
    }
}
