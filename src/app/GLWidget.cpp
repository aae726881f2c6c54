#include "GLWidget.h"

#include "CPictureSource.h"
#include "align.h"
#include "CStereoCalib.h"
#include "CTimerQt.h"
#include "glHelper.h"
#include "shadersource.h"

#include <QApplication>
#include <QColor>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QPainter>
#include <QScreen>
#include <QStringList>
#include <QSurfaceFormat>
#include <QWheelEvent>
#include <QWindow>

#include <cmath>

namespace {

std::string toStdString(const QByteArray& bytes) {
    return std::string(bytes.constData(), size_t(bytes.size()));
}

// Passes the loader's results on to the view, noting in the start-up's timeline when the
// first of each kind came.
class CTimelineSink : public CPictureSink {
public:
    explicit CTimelineSink(CPictureSink* next) : mNext(next) {}
    void pictureIdentified(RequestId id, const std::string& file,
                           const SPictureFacts& facts) override {
        consoleMilestoneOnce("loader: picture identified (Exif, preview)");
        mNext->pictureIdentified(id, file, facts);
    }
    void pictureFinished(const SPictureResult& result) override {
        if (result.mOutcome == EOutcome::Delivered && result.mPart == EPicturePart::Left)
            consoleMilestoneOnce("loader: picture decoded");
        mNext->pictureFinished(result);
    }

private:
    CPictureSink* mNext;
};

}  // namespace

GLWidget::GLWidget(QWidget* parent)
    : QOpenGLWidget(parent), mSource(std::make_unique<CPictureSource>()) {
    // One sample a pixel: pictures are drawn as quads on whole pixels, where multisampling
    // smooths nothing, while on a software renderer it makes every frame resolve four
    // colour and depth samples a pixel (the first frame waits for that code to be made).
    setFormat(QSurfaceFormat::defaultFormat());
    mWindow.mHost = this;
    setMouseTracking(true);
    app = std::make_unique<CRuvello>(&mWindow);
    setFocusPolicy(Qt::StrongFocus);
    app->setPictureRequests(mSource.get());
    mTimelineSink = std::make_unique<CTimelineSink>(app.get());
    mSource->setSink(mTimelineSink.get());
    mSource->setAligner(alignStereoPairAsShown);
    connect(mSource.get(), &CPictureSource::changed, this, [this] {
        updateBusy();
        if (app->takeRepaintRequest())
            update();
    });
    connect(app->timer(), &CTimerQt::dataChanged, this, [this] { update(); });
    // The read-ahead starts once the frame with the whole picture is on the screen, so
    // that its decode never competes with that frame.
    connect(this, &QOpenGLWidget::frameSwapped, this, [this] {
        consoleMilestoneOnce("first frame on the screen");
        if (mSharpDrawn)
            consoleMilestoneOnce("sharp frame on the screen");
        app->frameDone();
    });
}

GLWidget::~GLWidget() {
    // Qt destroys the context after this body; nothing may reach the application then.
    if (QOpenGLContext* ctx = context())
        disconnect(ctx, nullptr, this, nullptr);
    releaseBusy();
    // The loaders stop first: results still on their way go with the source.
    app->setPictureRequests(nullptr);
    mSource.reset();
    makeCurrent();
    app->shutdownGL();
    app.reset();
    doneCurrent();
}

QSize GLWidget::minimumSizeHint() const {
    return QSize(50, 50);
}

QSize GLWidget::sizeHint() const {
    return QSize(400, 400);
}

void GLWidget::loadPicture(const QByteArray& file) {
    consoleMilestoneOnce("first picture requested");
    if (!app->glReady()) {
        // At start the view has neither GL nor a size yet: its screen bounds the size, so
        // that the decode runs while the window is made and shown.
        if (const QScreen* shown = screen()) {
            const QSize size = shown->availableSize() * shown->devicePixelRatio();
            app->setExpectedViewSize(size.width(), size.height());
        }
    }
    app->selectPicture(toStdString(file));
    emit pictureCurrent(file);
    noteShift();
    updateBusy();
    // A picture that has nothing to show yet is painted when something comes: a frame
    // now would only draw the previous one again, on the cores its decode needs.
    if (app->hasNewFrame())
        update();
}

void GLWidget::setReadAhead(const QByteArray& file) {
    app->setReadAhead(toStdString(file));
}

bool GLWidget::calibrating() const {
    return app->calibrating();
}

bool GLWidget::calibrationUnsaved() const {
    return app->calib() && app->calib()->hasUnsavedMatches();
}

bool GLWidget::saveCalibration() {
    return app->calib() && app->calib()->saveFileAndCopy();
}

void GLWidget::discardCalibrationChanges() {
    if (CStereoCalib* calib = app->calib())
        calib->dropUnsavedMark();
}

void GLWidget::updatePictureInfo(const QByteArray& file, const SExifInfo& info) {
    app->updatePictureInfo(toStdString(file), info);
    update();
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
    // Reparenting gives the widget a new context; the application's GL objects die
    // with the old one and are made anew below.
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this,
            &GLWidget::contextAboutToBeDestroyed, Qt::UniqueConnection);
    consoleMilestoneOnce("GL context made");

    const QColor background = QColor::fromCmykF(0.4f, 0.0f, 1.0f, 0.0f).darker(200);
    glClearColor(background.redF(), background.greenF(), background.blueF(), 1.0f);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_MULTISAMPLE);
    const GLfloat lightPosition[] = {0.5f, 5.0f, 7.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);

    // Without what the view needs, the program cannot show anything: the application
    // ends with the code that says why (-1 for missing features, 1 for the shaders).
    if (!initGLHelper(*this)) {
        mUnusableCode = -1;
        emit glUnusable(-1);
        return;
    }

    const std::string stereoVs = findShaderSource("stereo.vs", ":/shaders/stereo.vs");
    const std::string stereoFs = findShaderSource("stereo.fs", ":/shaders/stereo.fs");
    const std::string grayVs = findShaderSource("gray.vs", ":/shaders/gray.vs");
    const std::string grayFs = findShaderSource("gray.fs", ":/shaders/gray.fs");
    syncDeviceSize();
    if (!app->initShaders(stereoVs.c_str(), stereoFs.c_str(), grayVs.c_str(), grayFs.c_str())) {
        mUnusableCode = 1;
        emit glUnusable(1);
        return;
    }
    consoleMilestoneOnce("view's GL set up");
    RUV_CHECK_GL();
}

void GLWidget::contextAboutToBeDestroyed() {
    if (!app)
        return;
    makeCurrent();
    app->shutdownGL();
    doneCurrent();
}

void GLWidget::syncDeviceSize() {
    const qreal ratio = devicePixelRatioF();
    const int w = qRound(width() * ratio);
    const int h = qRound(height() * ratio);
    if (w == mWindow.mWidth && h == mWindow.mHeight)
        return;
    mWindow.resize(w, h);
    app->reshape();
}

void GLWidget::resizeGL(int, int) {
    if (mUnusableCode)
        return;
    // Qt passes logical sizes; the framework works in device pixels.
    syncDeviceSize();
}

void GLWidget::paintGL() {
    if (mUnusableCode)
        return;
    // A move to a screen of another pixel ratio changes the framebuffer without a resize.
    syncDeviceSize();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    app->display();
    app->renderFrame();
    paintNotes();
    updateBusy();
    consoleMilestoneOnce("first frame drawn");
    SShownPicture shown;
    if (app->takeShownChange(shown)) {
        if (shown.state == EShown::Preview)
            consoleMilestoneOnce("preview frame drawn");
        if (shown.state == EShown::Full && !mSharpDrawn) {
            consoleMilestoneOnce("sharp frame drawn");
            mSharpDrawn = true;
        }
        const QByteArray file = QByteArray::fromStdString(shown.file);
        emit pictureShown(shown);
        emit imageLoaded(QFile::decodeName(file), shown.width, shown.height);
    }
}

void GLWidget::paintNotes() {
    const std::vector<std::string> notes = app->viewNotes();
    if (notes.empty())
        return;
    QStringList lines;
    for (const std::string& note : notes)
        lines << QString::fromStdString(note);
    const QString text = lines.join('\n');
    // On a dark box at the top left, readable over any picture. The painter draws into
    // the widget's framebuffer after the frame, and uploads its glyphs with the pixel-store
    // state a fresh context has; the next frame sets the GL state it needs.
    resetPixelStore();
    QPainter painter(this);
    QFont font = painter.font();
    font.setPointSizeF(std::max(font.pointSizeF(), 10.0));
    painter.setFont(font);
    const int margin = 8;
    const QRect area = rect().adjusted(margin, margin, -margin, -margin);
    const QRect box = painter.fontMetrics()
                          .boundingRect(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text)
                          .adjusted(-6, -4, 6, 4);
    painter.fillRect(box, QColor(0, 0, 0, 190));
    painter.setPen(Qt::white);
    painter.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
}

void GLWidget::updateBusy() {
    if (app->waiting())
        setBusy();
    else
        releaseBusy();
}

void GLWidget::setBusy() {
    if (mBusy)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    mBusy = true;
}

void GLWidget::releaseBusy() {
    if (!mBusy)
        return;
    QApplication::restoreOverrideCursor();
    mBusy = false;
}

QPoint GLWidget::devicePosition(const QPointF& logical) const {
    const qreal ratio = devicePixelRatioF();
    return QPoint(qRound(logical.x() * ratio), qRound(logical.y() * ratio));
}

void GLWidget::mouseButton(QMouseEvent* event, int state) {
    int code = 0;
    if (event->button() == Qt::RightButton)
        code = 1;
    else if (event->button() == Qt::MiddleButton)
        code = 2;
    const QPoint p = devicePosition(event->position());
    mWindow.mModifiers = appModifiers(event->modifiers());
    mWindow.button(code, state, p.x(), p.y());
    if (app->handleMouseButton())
        update();
}

void GLWidget::mousePressEvent(QMouseEvent* event) {
    mouseButton(event, 0);
}

void GLWidget::mouseReleaseEvent(QMouseEvent* event) {
    mouseButton(event, 1);
}

void GLWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = devicePosition(event->position());
    mWindow.mModifiers = appModifiers(event->modifiers());
    mWindow.move(p.x(), p.y());
    if (app->motion())
        update();
}

void GLWidget::wheelEvent(QWheelEvent* event) {
    const int steps = mWheelSteps.add(event->angleDelta().y());
    const QPoint p = devicePosition(event->position());
    mWindow.mModifiers = appModifiers(event->modifiers());
    bool used = false;
    for (int i = 0; i < std::abs(steps); ++i) {
        mWindow.button(steps > 0 ? 3 : 4, 0, p.x(), p.y());
        used = app->handleMouseButton() || used;
    }
    if (used)
        update();
    else
        event->ignore();
}

int GLWidget::appModifiers(Qt::KeyboardModifiers modifiers) {
    return (modifiers & Qt::ShiftModifier ? kModShift : 0) |
           (modifiers & Qt::ControlModifier ? kModControl : 0) |
           (modifiers & Qt::AltModifier ? kModAlt : 0);
}

void GLWidget::keyPressEvent(QKeyEvent* event) {
    unsigned key = unsigned(event->key());
    if (!(event->modifiers() & Qt::ShiftModifier) && key >= 'A' && key <= 'Z')
        key += 32;
    // The framework knows its own names for the keys beyond the characters; other
    // keys of the toolkit go to the parent (Page Down to the list, say).
    switch (event->key()) {
        case Qt::Key_Left:
            key = kKeyLeft;
            break;
        case Qt::Key_Right:
            key = kKeyRight;
            break;
        case Qt::Key_Up:
            key = kKeyUp;
            break;
        case Qt::Key_Down:
            key = kKeyDown;
            break;
        default:
            if (key > 255) {
                event->ignore();
                return;
            }
    }
    mWindow.mModifiers = appModifiers(event->modifiers());
    // Some keys do GL work (reload the shaders, resize for the side panel): with this
    // view's context current, never whatever another widget left current.
    const bool gl = context() != nullptr;
    if (gl)
        makeCurrent();
    const CStereoCalib* calib = app->calib();
    const unsigned outcomes = calib ? calib->outcomeCount() : 0;
    const bool used = app->keyboard(key);
    if (gl)
        doneCurrent();
    if (calib && calib == app->calib() && calib->outcomeCount() != outcomes) {
        QStringList lines;
        for (const std::string& line : calib->outcome())
            lines << QString::fromStdString(line);
        emit calibrationOutcome(lines.join(' '));
    }
    noteShift();
    if (used)
        update();
    else
        event->ignore();
}

void GLWidget::noteShift() {
    if (app->shift() == mToldShift)
        return;
    mToldShift = app->shift();
    emit shiftChanged(mToldShift);
}

void GLWidget::resetShift() {
    if (app->resetShift())
        update();
    noteShift();
}

void GLWidget::nearestFilter(bool flag) {
    app->setNearestFilter(flag);
    update();
}

void GLWidget::removeHalos(bool flag) {
    app->removeHalos(flag);
    update();
}

void GLWidget::fullColor() {
    app->fullColor();
    update();
}

void GLWidget::halfColor() {
    app->halfColor();
    update();
}

void GLWidget::gray() {
    app->gray();
    update();
}

void GLWidget::calibrate(bool flag) {
    // This sets the clear colour: a GL call, so the context must be current. Before
    // GL set-up only the flag is kept; the set-up clears to black anyway.
    if (context()) {
        makeCurrent();
        app->setCalibrate(flag);
        doneCurrent();
    } else {
        app->setCalibrate(flag, false);
    }
    update();
}

void GLWidget::stereo(bool flag) {
    app->setStereo(flag);
    // A stereo pair on the screen needs its second view now.
    app->requestCurrent();
    updateBusy();
    update();
}

void GLWidget::autoAlign(bool flag) {
    app->setAutoAlign(flag);
    update();
}

void GLWidget::restrictedRange(bool flag) {
    app->restrictedRange(flag);
    update();
}
