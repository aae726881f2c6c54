#pragma once
#include <QMainWindow>
#include <QString>

class GLWidget;

// The program's main window, around the GL view.
class CImgWindow : public QMainWindow {
    Q_OBJECT
public:
    // startPath: a folder or picture given on the command line; empty for the
    // working directory.
    explicit CImgWindow(const QString& startPath = QString(), QWidget* parent = nullptr);

    GLWidget* glWidget() const { return mGLWidget; }
    const QString& startPath() const { return mStartPath; }

private:
    GLWidget* mGLWidget;
    QString mStartPath;
};
