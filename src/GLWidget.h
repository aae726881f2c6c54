#pragma once
// The loader's GL declarations must precede every Qt GL header.
#include "glh.h"

#include "CAppHost.h"
#include "CGlutWindow.h"

#include <QColor>
#include <QOpenGLWidget>

// The GL view at the centre of the main window. It is the host of the GL framework:
// it keeps the window state up to date and answers the framework's host requests.
class GLWidget : public QOpenGLWidget, public CAppHost {
    Q_OBJECT
public:
    explicit GLWidget(QWidget* parent = nullptr);

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

    CGlutWindow& glutWindow() { return mWindow; }

    // CAppHost
    unsigned defaultFramebuffer() const override;
    int screenWidth() const override;
    int screenHeight() const override;
    void requestRepaint() override;
    std::string setSwapInterval(int interval) override;

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    CGlutWindow mWindow{800, 1200};
    QColor mBackground;
};
