#include "GLWidget.h"

#include "glHelper.h"

#include <QOpenGLContext>
#include <QScreen>
#include <QSurfaceFormat>
#include <QWindow>

#include <algorithm>

GLWidget::GLWidget(QWidget* parent) : QOpenGLWidget(parent) {
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setSamples(4);
    setFormat(format);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

QSize GLWidget::minimumSizeHint() const {
    return QSize(50, 50);
}

QSize GLWidget::sizeHint() const {
    return QSize(400, 400);
}

unsigned GLWidget::defaultFramebuffer() const {
    return defaultFramebufferObject();
}

int GLWidget::screenWidth() const {
    const QScreen* s = screen();
    return s ? qRound(s->size().width() * s->devicePixelRatio()) : 0;
}

int GLWidget::screenHeight() const {
    const QScreen* s = screen();
    return s ? qRound(s->size().height() * s->devicePixelRatio()) : 0;
}

void GLWidget::requestRepaint() {
    update();
}

std::string GLWidget::setSwapInterval(int interval) {
    // The widget draws into a framebuffer object; swaps happen on its top-level
    // window, whose format was fixed when it was created from the default format.
    const QWindow* top = window() ? window()->windowHandle() : nullptr;
    const int granted = top ? top->format().swapInterval() : context()->format().swapInterval();
    if (granted == interval)
        return {};
    return "the surface format gives swap interval " + std::to_string(granted);
}

void GLWidget::initializeGL() {
    mBackground = QColor::fromCmykF(0.4f, 0.0f, 1.0f, 0.0f).darker(200);
    glClearColor(mBackground.redF(), mBackground.greenF(), mBackground.blueF(), 1.0f);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_MULTISAMPLE);
    const GLfloat lightPosition[] = {0.5f, 5.0f, 7.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);

    initGLHelper(*this);

    // Until the image view takes over the frame, the view shows its background colour.
    glClearColor(mBackground.redF(), mBackground.greenF(), mBackground.blueF(), 1.0f);
    RUV_CHECK_GL();
}

void GLWidget::resizeGL(int w, int h) {
    const int side = std::min(w, h);
    glViewport((w - side) / 2, (h - side) / 2, side, side);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-0.5, 0.5, -0.5, 0.5, 4.0, 15.0);
    glMatrixMode(GL_MODELVIEW);
    mWindow.resize(w, h);
}

void GLWidget::paintGL() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    RUV_CHECK_GL();
    mWindow.fpsTick();
}
