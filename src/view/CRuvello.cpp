#include "CRuvello.h"

#include "CStereoCalib.h"
#include "GLSLShader.h"
#include "SUI.h"
#include "glHelper.h"
#include "viewAlign.h"
#include "viewFit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {
// The toolkit's codes of the arrow keys, as the view widget passes them on, and of Shift
// among the modifiers it keeps in the window state.

}  // namespace

CRuvello::CRuvello(CGlutWindow* window) : CApp(window) {
    mUI->m2DPixelMode = true;
}

CRuvello::~CRuvello() {
    // The textures went with shutdownGL, or go with the cache now, with the context
    // current as for the framework's own objects.
    if (mGrayTable)
        unbind(mGrayTable.get());
}

bool CRuvello::initShaders(const char* stereoVs, const char* stereoFs, const char* grayVs,
                           const char* grayFs) {
    // A new context (the widget was reparented) has none of the old textures. Before the
    // first one, pictures may already be on their way: they stay.
    for (SPictureEntry& e : mCache) {
        if (!mHadContext)
            break;
        e.texLeft.release();
        e.texRight.release();
        e.texThumb.release();
        e.leftLoaded = e.rightLoaded = e.thumbnailShown = false;
        e.leftFailed = e.rightFailed = false;
        e.identified = false;
        cancelRequests(e);
        e.pendingLeft.reset();
        e.pendingRight.reset();
        e.pendingThumbnail.reset();
    }
    if (!initGL(stereoVs, stereoFs))
        return false;
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glShadeModel(GL_FLAT);
    glEnable(GL_LINE_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glLineWidth(1.5f);

    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    mMaxTexSize = std::min<int>(std::max(maxSize, 64), kMaxTexSize);
    if (!mHadContext && mMaxTexSize < kMaxTexSize) {
        // Asked for before the driver's limit was known, and larger than it allows.
        for (SPictureEntry& e : mCache) {
            cancelRequests(e);
            e.pendingLeft.reset();
            e.pendingRight.reset();
            e.keptLeft.reset();
            e.keptRight.reset();
        }
    }
    mHadContext = true;

    mGrayProgram = GLSLShader::instance().createAndBuild({grayVs}, {grayFs});
    if (!mGrayProgram) {
        consoleLine("Error loading shaders.");
        return false;
    }
    if (!mGrayTable)
        mGrayTable = std::make_unique<BindingTable>(mGrayParams);
    bind(mGrayProgram, mGrayTable.get());
    updateAll();
    return true;
}

void CRuvello::shutdownGL() {
    if (glReady()) {
        for (SPictureEntry& e : mCache) {
            e.texLeft.reset();
            e.texRight.reset();
            e.texThumb.reset();
            e.leftLoaded = e.rightLoaded = e.thumbnailShown = false;
            e.leftFailed = e.rightFailed = false;
            e.identified = false;
            cancelRequests(e);
        }
    }
    if (mGrayTable)
        unbind(mGrayTable.get());
    mGrayProgram = nullptr;
    CApp::shutdownGL();
}

void CRuvello::setNearestFilter(bool flag) {
    mNearest = flag;
    mFilterDirty = true;  // applied in the next paint, with the context current
}

void CRuvello::fitToWindow() {
    SViewState v{mUI->mZoom, mUI->mPosX, mUI->mPosY};
    ::fitToWindow(v, {mWindow->mViewWidth, mWindow->mViewHeight, mImageWidth, mImageHeight});
    mUI->mZoom = v.zoom, mUI->mPosX = v.posX, mUI->mPosY = v.posY;
}

void CRuvello::fitZoom() {
    SViewState v{mUI->mZoom, mUI->mPosX, mUI->mPosY};
    ::fitZoom(v, {mWindow->mViewWidth, mWindow->mViewHeight, mImageWidth, mImageHeight});
    mUI->mZoom = v.zoom, mUI->mPosX = v.posX, mUI->mPosY = v.posY;
}

void CRuvello::clampPan() {
    SViewState v{mUI->mZoom, mUI->mPosX, mUI->mPosY};
    ::clampPan(v, {mWindow->mViewWidth, mWindow->mViewHeight, mImageWidth, mImageHeight});
    mUI->mZoom = v.zoom, mUI->mPosX = v.posX, mUI->mPosY = v.posY;
}

void CRuvello::reshape() {
    fitToWindow();
    CApp::reshape();
}

void CRuvello::drawScene() {
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glPushMatrix();
    // display() chose the picture and its size before this frame.
    const SPictureEntry* e = entryToShow();
    // A picture that cannot be read leaves the view dark under its note.
    if (!e || e->leftFailed) {
        glPopMatrix();
        return;
    }

    const float z = mUI->mZoom;
    glScalef(z, z, z);
    glRotatef(mUI->rotateX * 57.29578f, 1, 0, 0);
    glRotatef(mUI->rotateY * 57.29578f, 0, 1, 0);
    glRotatef(mUI->rotateZ * 57.29578f, 0, 0, 1);
    glTranslatef(-mUI->mPosX, -mUI->mPosY, 0.0f);
    glEnable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glEnable(GL_TEXTURE_2D);
    const bool rightView = mDrawingRight && mStereo;
    // The picture standing in for one still on its way keeps its own shift.
    const float shift = shiftOf(e->fileName);
    glTranslatef(rightView ? shift : -shift, 0.0f, 0.0f);

    // A pair whose alignment is on its way shows one picture in both views: its preview,
    // or its left picture when it was shown before the alignment was wanted.
    const bool awaiting = awaitsAlignment(*e);
    const bool picture = e->leftLoaded && !(awaiting && e->thumbnailShown);
    const bool useRight = (rightView && e->kind.mKind == EPictureKind::Mpo) || !e->leftLoaded;
    const GLuint left = picture ? e->texLeft.get() : e->texThumb.get();
    const bool drawRightTexture = useRight && e->rightLoaded && !awaiting;
    glBindTexture(GL_TEXTURE_2D, drawRightTexture ? e->texRight.get() : left);
    // The picture as stored, whatever an earlier pass left in the environment.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    // An aligned pair: both views keep to what both eyes see, the right one taken where the
    // alignment finds it; in mono, too, so that the picture does not change its frame.
    const SViewQuad quad =
        viewQuad(e->info.mOrientation, float(mImageWidth), float(mImageHeight), drawnAlignment(*e),
                 drawRightTexture, e->leftWidth, e->leftHeight);
    glBegin(GL_TRIANGLE_STRIP);
    for (int i = 0; i < 4; ++i) {
        glTexCoord2f(quad.s[i], quad.t[i]);
        glVertex2f(quad.x[i], quad.y[i]);
    }
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);

    if (mZoomMode) {
        const float vw = float(mWindow->mViewWidth), vh = float(mWindow->mViewHeight);
        const float mx = float(mWindow->mCurX), c = vh - float(mWindow->mCurY) - 1.0f;
        const float px = mUI->mPosX + mx / z, py = mUI->mPosY + c / z;
        const float xs[4] = {-mx, vw - mx, vw - mx, -mx}, ys[4] = {-c, -c, vh - c, vh - c};
        glColor3f(0.4f, 0.4f, 0.4f);
        glBegin(GL_LINE_LOOP);
        for (int i = 0; i < 4; ++i)
            glVertex2f(px + xs[i] / (8 * z), py + ys[i] / (8 * z));
        glEnd();
        glBegin(GL_LINES);
        for (int i = 0; i < 4; ++i) {
            glVertex2f(px, py);
            glVertex2f(px + xs[i] / z, py + ys[i] / z);
        }
        glEnd();
    }
    glPopMatrix();
    glPointSize(2.0f);
}

void CRuvello::drawLeft() {
    glUseProgram(0);
    drawScene();
    glUseProgram(0);
}

void CRuvello::drawRight() {
    glUseProgram(0);
    mDrawingRight = true;
    drawScene();
    mDrawingRight = false;
    glUseProgram(0);
}

bool CRuvello::stereoFrame() const {
    // A stereo file whose second picture failed shows its first picture plainly.
    const SPictureEntry* e = entryToShow();
    return mStereo && !(e && e->rightFailed && e->kind.mKind == EPictureKind::Mpo);
}

bool CRuvello::handleMouseButton() {
    const int state = mWindow->mButtonState;
    if (state == 0)
        mMoved = false;
    switch (mWindow->mButton) {
        case 0:
            if (state == 1 && !mMoved)
                mZoomMode = !mZoomMode;
            return true;
        case 3:
            if (state == 0 && mZoomMode) {
                zoomIn();
                return true;
            }
            return state != 0;
        case 4:
            if (state == 0 && mZoomMode) {
                zoomOut();
                return true;
            }
            return state != 0;
        default:
            return false;
    }
}

bool CRuvello::motion() {
    mMoved = true;
    if (!(mWindow->mButton == 0 && mWindow->mButtonState == 0))
        return mZoomMode;
    const float z = mUI->mZoom;
    const float dx = float(mWindow->mDx), dy = float(mWindow->mDy);
    mUI->mPosX -=
        (std::cos(mUI->rotateZ) * dx + std::sin(mUI->rotateZ) * std::cos(mUI->rotateX) * dy) / z;
    mUI->mPosY -=
        (std::sin(mUI->rotateZ) * dx - std::cos(mUI->rotateZ) * std::cos(mUI->rotateX) * dy) / z;
    clampPan();
    return true;
}

void CRuvello::zoomIn() {
    SViewState v{mUI->mZoom, mUI->mPosX, mUI->mPosY};
    const float c = float(mWindow->mViewHeight - mWindow->mMouseY - 1);
    zoomAbout(v, boundedZoom(v.zoom * 1.2589254f), float(mWindow->mMouseX), c);
    mUI->mZoom = v.zoom, mUI->mPosX = v.posX, mUI->mPosY = v.posY;
    clampPan();
}

void CRuvello::zoomOut() {
    SViewState v{mUI->mZoom, mUI->mPosX, mUI->mPosY};
    const float c = float(mWindow->mViewHeight - mWindow->mMouseY - 1);
    zoomAbout(v, boundedZoom(v.zoom / 1.2589254f), float(mWindow->mMouseX), c);
    mUI->mZoom = v.zoom, mUI->mPosX = v.posX, mUI->mPosY = v.posY;
    fitZoom();
    clampPan();
}

void CRuvello::actualSize() {
    // 1:1 about the picture point at the centre of the view.
    SViewState v{mUI->mZoom, mUI->mPosX, mUI->mPosY};
    zoomAbout(v, 1.0f, mWindow->mViewWidth / 2.0f, mWindow->mViewHeight / 2.0f);
    mUI->mZoom = v.zoom, mUI->mPosX = v.posX, mUI->mPosY = v.posY;
    clampPan();
}

void CRuvello::zoomStep(bool in, int x, int y) {
    // The wheel's steps, about the given point rather than the last one the mouse told.
    const int mouseX = mWindow->mMouseX, mouseY = mWindow->mMouseY;
    mWindow->mMouseX = x, mWindow->mMouseY = y;
    in ? zoomIn() : zoomOut();
    mWindow->mMouseX = mouseX, mWindow->mMouseY = mouseY;
}

bool CRuvello::showsPicture(int x, int y) const {
    const float z = mUI->mZoom;
    const float px = mUI->mPosX + float(x) / z;
    const float py = mUI->mPosY + float(mWindow->mViewHeight - y - 1) / z;
    return px >= 0.0f && py >= 0.0f && px < float(mImageWidth) && py < float(mImageHeight);
}

bool CRuvello::shifted() const {
    return (mWindow->mModifiers & kModShift) != 0;
}

float CRuvello::shiftOf(const std::string& filename) const {
    if (filename == mFileName)
        return mShift;
    const auto found = mShifts.find(filename);
    return found == mShifts.end() ? 0.0f : found->second;
}

bool CRuvello::resetShift() {
    if (mShift == 0.0f)
        return false;
    mShift = 0.0f;
    return true;
}

bool CRuvello::keyboard(unsigned key) {
    switch (key) {
        case 'x':
            fitToWindow();
            return true;
        case 'z':
            actualSize();
            return true;
        case kKeyLeft:
            mShift -= shifted() ? 10.0f : 0.5f;
            return true;
        case kKeyRight:
            mShift += shifted() ? 10.0f : 0.5f;
            return true;
        default:
            return CApp::keyboard(key);
    }
}

SAnaglyphSettings CRuvello::anaglyphSettings() const {
    SAnaglyphSettings settings;
    settings.a_l = mRenderer.a_l;
    settings.b_l = mRenderer.b_l;
    settings.a_r = mRenderer.a_r;
    settings.b_r = mRenderer.b_r;
    settings.gamma = mRenderer.gamma;
    settings.mMode = mRenderer.mode;
    settings.mRemoveHalos = mRenderer.removeHalos;
    settings.mRestrictedRange = mRenderer.restrictedRange;
    settings.mShift = mShift;
    return settings;
}
