#include "CApp.h"

#include "CAppHost.h"
#include "CStereoCalib.h"
#include "CTimerQt.h"
#include "GLSLShader.h"
#include "SAnimation.h"
#include "SUI.h"
#include "calibSearch.h"
#include "glHelper.h"
#include "viewProjection.h"

#include <algorithm>
#include <cmath>

namespace {
// Restores the enable bits and the current colour that a pass changes.
struct SAttribGuard {
    explicit SAttribGuard(GLbitfield bits) { glPushAttrib(bits); }
    ~SAttribGuard() { glPopAttrib(); }
};
}  // namespace

CApp::CApp(CGlutWindow* window)
    : mWindow(window), mUI(std::make_unique<SUI>()), mTimer(std::make_unique<CTimerQt>(this)) {}

CApp::~CApp() {
    // A recording still running is kept, as if it had been stopped.
    if (mRecording)
        saveRecording();
    // GL objects are released by shutdownGL or here, with the context current either way.
    if (mGLReady)
        releaseGL();
}

GLuint CApp::hostFramebuffer() const {
    return host() ? host()->defaultFramebuffer() : 0;
}

void CApp::requestRepaint() {
    if (host())
        host()->requestRepaint();
}

bool CApp::initGL(const char* vertexSource, const char* fragmentSource) {
    if (mGLReady)
        releaseGL();
    // The two views' framebuffer is made by the first stereo frame: a mono picture never
    // needs its three screen-sized textures, which the software renderer fills at once.
    const bool shaders = mRenderer.init(vertexSource, fragmentSource);
    setLighting(mUI->mLight);
    mCalib = std::make_unique<CStereoCalib>();
    mCalib->useBuiltIn();
    mCalib->setOutcome({});
    // The user's own calibration, when one was saved, shows from the first frame on.
    const std::string savedCalibration = findStartupCalibration();
    if (!savedCalibration.empty())
        mCalib->loadAndFit(savedCalibration);
    applyCalibration();
    consoleMilestoneOnce("anaglyph filters set");
    mGLReady = true;
    return shaders;
}

void CApp::applyCalibration() {
    const SRgb left = mCalib->getFilter(0);
    const SRgb right = mCalib->getFilter(1);
    mRenderer.setFilterParameters(left[0], left[1], right[0], right[1], mCalib->getGamma());
}

void CApp::releaseGL() {
    mCalib.reset();
    mFramebuffer.release();
    GLSLShader::destroy();
    mRenderer.program = nullptr;  // it belonged to the registry
    mGLReady = false;
}

void CApp::shutdownGL() {
    if (mGLReady)
        releaseGL();
}

void CApp::setCalibrate(bool on, bool clearColour) {
    mCalibrate = on;
    if (clearColour)
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
}

void CApp::reshape() {
    glViewport(0, 0, mWindow->mViewWidth, mWindow->mViewHeight);
    // The window's first size is no resize by the user: the sketch would only cover the
    // first picture (and cost the first frame its drawing).
    if (mSizedOnce) {
        mOverlayUntil = std::chrono::steady_clock::now() + kOverlayTime;
        // The frame after the moment, drawn without the sketch, even if nothing else asks.
        mTimer->repaintAfter(int(kOverlayTime.count()) + 20);
    }
    mSizedOnce = mSizedOnce || (mWindow->mViewWidth > 0 && mWindow->mViewHeight > 0);
    if (mGLReady && host())
        mFramebuffer.ensureSize(mWindow->mViewWidth, mWindow->mViewHeight, hostFramebuffer());
}

void CApp::setLighting(bool on) {
    const GLfloat zero[] = {0.0f, 0.0f, 0.0f, 0.0f};
    if (on) {
        const GLfloat diffuse[] = {0.8f, 0.8f, 0.8f, 0.8f};
        const GLfloat specular[] = {1.0f, 1.0f, 1.0f, 1.0f};
        const GLfloat ambient[] = {0.2f, 0.2f, 0.2f, 0.2f};
        glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
        glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
        glEnable(GL_LIGHT0);
    } else {
        const GLfloat ambient[] = {0.8f, 0.8f, 0.8f, 0.8f};
        glLightfv(GL_LIGHT0, GL_DIFFUSE, zero);
        glLightfv(GL_LIGHT0, GL_SPECULAR, zero);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
        glDisable(GL_LIGHT0);
    }
    mLightState = on;
}

void CApp::setProjection(bool quadrants, float scale, bool stereo, bool leftEye, bool firstColumn) {
    SProjectionInput in;
    in.windowWidth = mWindow->mWidth;
    in.windowHeight = mWindow->mHeight;
    in.viewWidth = mWindow->mViewWidth;
    in.viewHeight = mWindow->mViewHeight;
    in.quadrants = quadrants;
    in.pixelMode = mUI->m2DPixelMode;
    in.ortho = mUI->mOrtho;
    in.scale = scale;
    in.sceneScale = mUI->mScale;
    in.zoom = mUI->mZoom;
    in.transl = mUI->mTransl;
    in.nearFactor = mUI->mNear;
    in.farFactor = mUI->mFar;
    in.pixelsPerMeter = mPixelsPerMeter;
    in.stereo = stereo;
    in.leftEye = leftEye;
    in.firstColumn = firstColumn;
    const SProjection p = computeProjection(in);

    // The host resets the viewport before every paint: every path sets its own.
    glViewport(p.viewport[0], p.viewport[1], p.viewport[2], p.viewport[3]);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (p.ortho)
        glOrtho(p.left, p.right, p.bottom, p.top, p.zNear, p.zFar);
    else
        glFrustum(p.left, p.right, p.bottom, p.top, p.zNear, p.zFar);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (mUI->m2DPixelMode)
        return;
    const GLfloat light[] = {mUI->mLightPosition[0] + float(p.eyeOffset), mUI->mLightPosition[1],
                             mUI->mLightPosition[2] - float(p.distance), mUI->mLightPosition[3]};
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    glTranslated(p.eyeOffset, 0.0, -p.distance);
}

void CApp::applyViewTransform(bool rotationOnly) {
    const float toDegrees = 57.29578f;
    glRotatef(mUI->rotateX * toDegrees, 1, 0, 0);
    glRotatef(mUI->rotateY * toDegrees, 0, 1, 0);
    glRotatef(mUI->rotateZ * toDegrees, 0, 0, 1);
    if (!rotationOnly)
        glTranslatef(-mUI->mPosX, -mUI->mPosY, -mUI->mPosZ);
}

void CApp::drawScene() {
    const float p = 1.0f / (mUI->mZoom * mUI->mScale * mPixelsPerMeter);
    const float a = 0.5f * p, b = 2.5f * p, c = 7.5f * p;
    glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
    glBegin(GL_LINES);
    glVertex2f(b, a), glVertex2f(c, a);
    glVertex2f(-b, -a), glVertex2f(-c, -a);
    glVertex2f(a, b), glVertex2f(a, c);
    glVertex2f(-a, -b), glVertex2f(-a, -c);
    glEnd();
    const float* L = mUI->mLightPosition;
    glColor3f(0.6f, 0.6f, 0.0f);
    glBegin(GL_LINES);
    glVertex3f(L[0] - b, L[1] + b, L[2]), glVertex3f(L[0] + b, L[1] - b, L[2]);
    glVertex3f(L[0] - b, L[1] - b, L[2]), glVertex3f(L[0] + b, L[1] + b, L[2]);
    glVertex3f(L[0] - b, L[1], L[2]), glVertex3f(L[0] + b, L[1], L[2]);
    glVertex3f(L[0], L[1] - b, L[2]), glVertex3f(L[0], L[1] + b, L[2]);
    glEnd();
}

void CApp::renderFrame() {
    RUV_CHECK_GL();
    mWindow->fpsTick();
    if (mUI->mLight != mLightState)
        setLighting(mUI->mLight);
    if (mUI->mMultisample)
        glEnable(GL_MULTISAMPLE);
    else
        glDisable(GL_MULTISAMPLE);

    const bool quadrants = mWindow->mSidePanel && !mCalibrate;
    const bool empty = quadrants ? (mWindow->mWidth < 2 || mWindow->mHeight < 2)
                                 : (mWindow->mViewWidth <= 0 || mWindow->mViewHeight <= 0);
    if (!empty) {
        if (quadrants)
            drawQuadrants();
        else if (!stereoFrame() || mCalibrate)
            drawMono();
        else
            drawStereo();
        drawOverlayPass();
    }
    finishFrame();
}

void CApp::drawQuadrants() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    setProjection(true, 1.0f, mStereo, true, true);
    drawLeft();
    setProjection(true, 1.0f, mStereo, true, false);
    drawLeft();
    glClear(GL_DEPTH_BUFFER_BIT);
    setProjection(true, 1.0f, mStereo, false, true);
    drawRight();
    setProjection(true, 1.0f, mStereo, false, false);
    drawRight();
}

void CApp::drawMono() {
    const float s = mUI->mScale * mUI->mZoom;
    setProjection(false, s, false, false, false);
    if (mCalibrate && mCalib)
        mCalib->draw(mWindow->mViewWidth, mWindow->mViewHeight);
    else
        drawScene();
}

void CApp::drawStereo() {
    const int viewW = mWindow->mViewWidth, viewH = mWindow->mViewHeight;
    const GLuint screen = hostFramebuffer();
    const float s = mUI->mScale * mUI->mZoom;
    RUV_CHECK_GL();
    if (!mFramebuffer.mFbo) {
        // Screen-sized, so that resizing the window never makes it anew.
        mFramebuffer.create();
        mFramebuffer.allocate(std::max(host() ? host()->screenWidth() : 0, viewW),
                              std::max(host() ? host()->screenHeight() : 0, viewH), screen);
        consoleMilestoneOnce("stereo framebuffer allocated");
    }
    // A drawing area larger than the screen (a larger second screen) grows the views.
    mFramebuffer.ensureSize(viewW, viewH, screen);
    glBindFramebuffer(GL_FRAMEBUFFER, mFramebuffer.mFbo.get());
    CStereoFramebuffer::reportStatus();
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    setProjection(false, s, true, true, false);
    drawLeft();
    glDrawBuffer(GL_COLOR_ATTACHMENT1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    setProjection(false, s, true, false, false);
    drawRight();
    glBindFramebuffer(GL_FRAMEBUFFER, screen);
    RUV_CHECK_GL();

    glViewport(0, 0, viewW, viewH);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, mFramebuffer.mTexRight.get());
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, mFramebuffer.mTexLeft.get());
    RUV_CHECK_GL();
    {
        SAttribGuard guard(GL_ENABLE_BIT);
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glDisable(GL_BLEND);
        mRenderer.draw(float(viewW) / float(mFramebuffer.mWidth),
                       float(viewH) / float(mFramebuffer.mHeight));
    }
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
}

void CApp::drawOverlayPass() {
    const int viewW = mWindow->mViewWidth, viewH = mWindow->mViewHeight;
    // The side panel leaves a window narrower than itself the quadrants but no drawing
    // area, and a projection of no width is an error in GL.
    if (viewW <= 0 || viewH <= 0)
        return;
    SAttribGuard guard(GL_ENABLE_BIT | GL_CURRENT_BIT);
    glViewport(0, 0, viewW, viewH);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, viewW, 0, viewH, -1000, 1000);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    drawOverlay();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void CApp::drawFilterHexagon(int eye, float x, float y) {
    // White in the centre, the six primaries and secondaries around it, each as dark
    // as the model predicts it through this eye's filter.
    static const SRgb kColours[7] = {{1, 1, 1}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                     {0, 1, 1}, {0, 0, 1}, {1, 0, 1}};
    const float radius = 30.0f;
    auto colour = [&](int i) {
        const SRgb c = mCalib->equalLuminanceColor(kColours[i], eye, 0.1f);
        glColor3f(c[0], c[1], c[2]);
    };
    glBegin(GL_TRIANGLES);
    for (int i = 0; i < 6; ++i) {
        const float a0 = float(i) * 1.0471976f, a1 = float(i + 1) * 1.0471976f;
        colour(0);
        glVertex2f(x, y);
        colour(i + 1);
        glVertex2f(x + radius * std::cos(a0), y + radius * std::sin(a0));
        glVertex2f(x + radius * std::cos(a1), y + radius * std::sin(a1));
    }
    glEnd();
}

std::vector<std::string> CApp::viewNotes() const {
    // Calibration mode shows only patches: without the guide nobody knows what to do.
    if (mCalibrate && mCalib)
        return mCalib->notes();
    return {};
}

void CApp::drawOverlay() {
    if (std::chrono::steady_clock::now() >= mOverlayUntil)
        return;
    if (mStereo && mCalib) {
        drawFilterHexagon(0, 60.0f, 100.0f);
        drawFilterHexagon(1, 160.0f, 100.0f);
    }
    const float h = float(mWindow->mViewHeight);
    const float cx = float(mWindow->mViewWidth) / 2.0f;
    const float f = h / 10.0f;
    const float y0 = h - f;
    const float transl = mUI->mTransl * mPixelsPerMeter;
    const float eyeX = cx - f * transl / h;
    glColor3f(0.5f, 0.5f, 0.5f);
    glBegin(GL_LINES);
    glVertex2f(cx, y0 - f / 2), glVertex2f(cx, y0 + f / 2);
    if (mUI->mOrtho) {
        glVertex2f(eyeX, y0 - f / 2), glVertex2f(cx, y0 - f / 2);
        glVertex2f(eyeX, y0 + f / 2), glVertex2f(cx, y0 + f / 2);
    } else {
        glVertex2f(eyeX, y0), glVertex2f(cx, y0 - f / 2);
        glVertex2f(eyeX, y0), glVertex2f(cx, y0 + f / 2);
    }
    glEnd();

    glEnable(GL_BLEND);
    glColor4f(0.0f, 0.0f, 1.0f, 0.3f);
    const float w = -transl * f / h;
    const float xFar = cx + w * (1.0f - mUI->mFar), xNear = cx + w * (1.0f - mUI->mNear);
    const float hFar = mUI->mOrtho ? f / 2 : f / 2 * mUI->mFar;
    const float hNear = mUI->mOrtho ? f / 2 : f / 2 * mUI->mNear;
    glBegin(GL_QUADS);
    glVertex2f(xFar, y0 - hFar);
    glVertex2f(xNear, y0 - hNear);
    glVertex2f(xNear, y0 + hNear);
    glVertex2f(xFar, y0 + hFar);
    glEnd();
}
