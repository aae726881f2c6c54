#include "CRuvello.h"

#include "CStereoCalib.h"
#include "GLSLShader.h"
#include "SUI.h"
#include "glHelper.h"
#include "viewFit.h"
#include "viewdecode.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>

namespace {
// The toolkit's codes of the arrow keys, as the view widget passes them on.
constexpr unsigned kKeyLeft = 0x01000012;
constexpr unsigned kKeyRight = 0x01000014;

bool endsWith(const std::string& s, const char* suffix) {
    const std::string end(suffix);
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

bool isMpoName(const std::string& name) {
    return endsWith(name, ".mpo") || endsWith(name, ".MPO");
}

bool isJpegName(const std::string& name) {
    for (const char* suffix : {".jpg", ".JPG", ".jpeg", ".JPEG", ".mpo", ".MPO"})
        if (endsWith(name, suffix))
            return true;
    return false;
}

// Texture coordinates of a displayed point (a from the left, b from the top, both in
// [0, 1]) for the Exif orientation: the stored picture is turned or mirrored so that
// it shows upright. Rows are uploaded top row first, so t = 0 is the top.
void orientedTexCoord(int orientation, float a, float b, float& s, float& t) {
    switch (orientation) {
        case 2:
            s = 1 - a, t = b;
            break;
        case 3:
            s = 1 - a, t = 1 - b;
            break;
        case 4:
            s = a, t = 1 - b;
            break;
        case 5:
            s = b, t = a;
            break;
        case 6:
            s = b, t = 1 - a;
            break;
        case 7:
            s = 1 - b, t = 1 - a;
            break;
        case 8:
            s = 1 - b, t = a;
            break;
        default:
            s = a, t = b;
            break;
    }
}

bool turnsSideways(int orientation) {
    return orientation >= 5 && orientation <= 8;
}
}  // namespace

CRuvello::CRuvello(CGlutWindow* window) : CApp(window) {
    mUI->m2DPixelMode = true;
}

CRuvello::~CRuvello() {
    // The textures went with shutdownGL (context current) or with the context.
    if (mGrayTable)
        unbind(mGrayTable.get());
}

void CRuvello::initShaders(const char* stereoVs, const char* stereoFs, const char* grayVs,
                           const char* grayFs) {
    // A new context (the widget was reparented) has none of the old textures.
    for (SPictureEntry& e : mCache) {
        e.texLeft = e.texRight = e.texThumb = 0;
        e.leftLoaded = e.rightLoaded = e.thumbnailShown = false;
        e.leftRequested = e.rightRequested = e.thumbnailTried = false;
    }
    initGL(stereoVs, stereoFs);
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

    mGrayProgram = GLSLShader::instance().createAndBuild({grayVs}, {grayFs});
    if (!mGrayProgram) {
        std::cerr << "Error loading shaders." << std::endl;
        std::exit(1);
    }
    if (!mGrayTable)
        mGrayTable = std::make_unique<BindingTable>(mGrayParams);
    bind(mGrayProgram, mGrayTable.get());
    updateAll();
}

void CRuvello::shutdownGL() {
    if (glReady()) {
        for (SPictureEntry& e : mCache) {
            const GLuint textures[] = {e.texLeft, e.texRight, e.texThumb};
            glDeleteTextures(3, textures);
            e.texLeft = e.texRight = e.texThumb = 0;
            e.leftLoaded = e.rightLoaded = e.thumbnailShown = false;
            e.leftRequested = e.rightRequested = e.thumbnailTried = false;
        }
    }
    if (mGrayTable)
        unbind(mGrayTable.get());
    mGrayProgram = nullptr;
    CApp::shutdownGL();
}

SPictureEntry* CRuvello::current() {
    return mCache.empty() ? nullptr : &mCache.back();
}

const SPictureEntry* CRuvello::current() const {
    return mCache.empty() ? nullptr : &mCache.back();
}

SPictureEntry* CRuvello::entryFor(const std::string& filename) {
    for (auto it = mCache.rbegin(); it != mCache.rend(); ++it)
        if (it->fileName == filename)
            return &*it;
    return nullptr;
}

void CRuvello::updateCache() {
    if (mFileName.empty())
        return;
    if (isMpoName(mFileName))
        mIsMpo = true;
    else if (isJpegName(mFileName) || endsWith(mFileName, ".png") || endsWith(mFileName, ".PNG"))
        mIsMpo = false;
    auto found = std::find_if(mCache.rbegin(), mCache.rend(),
                              [&](const SPictureEntry& e) { return e.fileName == mFileName; });
    if (found != mCache.rend()) {
        // A hit moves the entry to the end and decodes nothing.
        auto it = std::prev(found.base());
        if (it != std::prev(mCache.end())) {
            SPictureEntry entry = std::move(*it);
            mCache.erase(it);
            mCache.push_back(std::move(entry));
        }
        return;
    }
    SPictureEntry entry;
    if (mCache.size() >= kCacheSize) {
        // The least recently used entry makes room; its textures are reused.
        entry.texLeft = mCache.front().texLeft;
        entry.texRight = mCache.front().texRight;
        entry.leftWidth = mCache.front().leftWidth;
        entry.leftHeight = mCache.front().leftHeight;
        entry.rightWidth = mCache.front().rightWidth;
        entry.rightHeight = mCache.front().rightHeight;
        entry.texThumb = mCache.front().texThumb;
        entry.thumbWidth = mCache.front().thumbWidth;
        entry.thumbHeight = mCache.front().thumbHeight;
        mCache.erase(mCache.begin());
    }
    entry.fileName = mFileName;
    entry.info = mInfo;
    mCache.push_back(std::move(entry));
}

void CRuvello::selectPicture(const std::string& filename, const SExifInfo& info) {
    mFileName = filename;
    mInfo = info;
    updateCache();
    // The loaders start at once rather than in the paint that follows; before GL set-up
    // the texture limit is not known yet, and the first paint asks.
    if (mDecodeRequest && glReady() && !mCache.empty())
        requestMissing(mCache.back(), false);
}

void CRuvello::prefetch(const std::string& filename, const SExifInfo& info) {
    if (filename.empty() || mFileName.empty() || mCache.empty() || entryFor(filename))
        return;
    SPictureEntry entry;
    if (mCache.size() >= kCacheSize) {
        // The least recently used entry, textures and all.
        entry = std::move(mCache.front());
        mCache.erase(mCache.begin());
        entry.leftLoaded = entry.rightLoaded = entry.thumbnailShown = false;
        entry.leftRequested = entry.rightRequested = entry.rightFailed = false;
        entry.thumbnailTried = false;
        entry.pendingLeft.reset();
        entry.pendingRight.reset();
        entry.pendingThumbnail.reset();
    }
    entry.fileName = filename;
    entry.info = info;
    // Just before the current entry, so that the read-ahead outlives the next few
    // selections.
    mCache.insert(std::prev(mCache.end()), std::move(entry));
    if (mDecodeRequest) {
        SPictureEntry* e = entryFor(filename);
        e->leftRequested = true;
        mDecodeRequest(filename, false, mMaxTexSize, true);
    }
}

void CRuvello::uploadPicture(const std::string& filename, bool right, SImageHandle image) {
    SPictureEntry* entry = entryFor(filename);
    if (!entry || !image)
        return;  // no entry holds that file any more: the pixels go with the handle
    (right ? entry->pendingRight : entry->pendingLeft) = std::move(image);
}

void CRuvello::updatePictureInfo(const std::string& filename, const SExifInfo& info) {
    if (SPictureEntry* entry = entryFor(filename)) {
        entry->info = info;
        if (filename == mFileName)
            mInfo = info;
    }
}

bool CRuvello::isLeftLoaded() const {
    const SPictureEntry* e = current();
    return e && e->leftLoaded;
}

bool CRuvello::isRightLoaded() const {
    const SPictureEntry* e = current();
    return e && e->rightLoaded;
}

bool CRuvello::wantsRightPicture() const {
    const SPictureEntry* e = current();
    return mStereo && mIsMpo && !(e && e->rightFailed);
}

bool CRuvello::pictureComplete() const {
    if (mFileName.empty())
        return true;
    return isLeftLoaded() && (isRightLoaded() || !wantsRightPicture());
}

void CRuvello::setNearestFilter(bool flag) {
    mNearest = flag;
    mFilterDirty = true;  // applied in the next paint, with the context current
}

void CRuvello::uploadTexture(GLuint& texture, int& width, int& height, const SImage& image) {
    if (texture == 0) {
        glGenTextures(1, &texture);
        width = height = 0;
    }
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mNearest ? GL_NEAREST : GL_LINEAR);
    // The toolkit's context leaves 4 here; rows of RGB pictures are not padded.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const GLenum format = image.mChannels == 4 ? GL_RGBA : GL_RGB;
    GLint internal = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internal);
    const GLint wanted = image.mChannels == 4 ? GL_RGBA8 : GL_RGB8;
    if (width == image.mWidth && height == image.mHeight && internal == wanted) {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, image.mWidth, image.mHeight, format,
                        GL_UNSIGNED_BYTE, image.mPixels);
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, wanted, image.mWidth, image.mHeight, 0, format,
                     GL_UNSIGNED_BYTE, image.mPixels);
        width = image.mWidth;
        height = image.mHeight;
    }
    checkGLError(__FILE__, __LINE__);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void CRuvello::uploadPending(SPictureEntry& e) {
    static const unsigned char kRed[3] = {255, 0, 0};
    auto usable = [](const SImageHandle& h) {
        return h && h->mPixels && h->mWidth > 0 && h->mHeight > 0 &&
               (h->mChannels == 3 || h->mChannels == 4) && h->mBitDepth == 8;
    };
    if (e.pendingThumbnail) {
        const SImageHandle h = std::move(e.pendingThumbnail);
        if (usable(h) && !e.leftLoaded) {
            uploadTexture(e.texThumb, e.thumbWidth, e.thumbHeight, *h);
            e.thumbnailShown = true;
            mImageChanged = true;
        }
    }
    if (e.pendingLeft) {
        const SImageHandle h = std::move(e.pendingLeft);
        SImage red;
        red.mWidth = red.mHeight = 1;
        red.mChannels = 3;
        red.mPixels = const_cast<unsigned char*>(kRed);
        // A picture that cannot be read shows as one red pixel.
        uploadTexture(e.texLeft, e.leftWidth, e.leftHeight, usable(h) ? *h : red);
        e.leftLoaded = true;
        e.thumbnailShown = false;
        mImageChanged = true;
    }
    if (e.pendingRight) {
        const SImageHandle h = std::move(e.pendingRight);
        if (usable(h)) {
            uploadTexture(e.texRight, e.rightWidth, e.rightHeight, *h);
            e.rightLoaded = true;
        } else {
            e.rightFailed = true;
            warning(__FILE__, __LINE__,
                    "no second picture in " + e.fileName + "; it is shown in mono");
        }
        mImageChanged = true;
    }
}

void CRuvello::requestMissing(SPictureEntry& e, bool prefetch) {
    const bool needRight = mStereo && isMpoName(e.fileName) && !e.rightFailed;
    if (!mDecodeRequest) {
        // Without loader threads the paint decodes what it needs itself.
        if (!e.leftLoaded && !e.pendingLeft) {
            SViewDecode request{e.fileName, EViewPicture::Left, 0, mMaxTexSize, true};
            e.pendingLeft = decodeForView(request, nullptr);
            ++mSyncDecodes;
        }
        if (needRight && !e.rightLoaded && !e.pendingRight) {
            SViewDecode request{e.fileName, EViewPicture::Right, 0, mMaxTexSize, true};
            e.pendingRight = decodeForView(request, nullptr);
            ++mSyncDecodes;
        }
        return;
    }
    // The loaders first, so that they decode while this thread shows the preview.
    if (!e.leftLoaded && !e.leftRequested) {
        e.leftRequested = true;
        mDecodeRequest(e.fileName, false, mMaxTexSize, prefetch);
    }
    if (needRight && !e.rightLoaded && !e.rightRequested) {
        e.rightRequested = true;
        mDecodeRequest(e.fileName, true, mMaxTexSize, prefetch);
    }
    // The Exif thumbnail is small: decoded in the paint, it shows at once as a preview.
    if (!prefetch && mInPaint && !e.leftLoaded && !e.pendingLeft && !e.thumbnailShown &&
        !e.thumbnailTried && e.info.mThumbnailOffset > 0 && isJpegName(e.fileName)) {
        e.thumbnailTried = true;
        SViewDecode request{e.fileName, EViewPicture::Thumbnail, e.info.mThumbnailOffset,
                            mMaxTexSize, true};
        e.pendingThumbnail = decodeForView(request, nullptr);
        ++mSyncDecodes;
    }
}

void CRuvello::display() {
    updateCache();
    if (mFilterDirty) {
        mFilterDirty = false;
        for (SPictureEntry& e : mCache)
            for (GLuint texture : {e.texLeft, e.texRight, e.texThumb})
                if (texture != 0) {
                    glBindTexture(GL_TEXTURE_2D, texture);
                    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER,
                                    mNearest ? GL_NEAREST : GL_LINEAR);
                }
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    SPictureEntry* e = current();
    if (!e)
        return;
    mInPaint = true;
    requestMissing(*e, false);
    mInPaint = false;
    for (SPictureEntry& entry : mCache)
        uploadPending(entry);
}

void CRuvello::displaySize(const SPictureEntry& e, int& w, int& h) const {
    const bool preview = e.thumbnailShown && !e.leftLoaded;
    w = preview ? e.thumbWidth : e.leftWidth;
    h = preview ? e.thumbHeight : e.leftHeight;
    if (preview && e.info.mPixelXDimension > 0 && e.info.mPixelYDimension > 0) {
        // The preview takes the size of the picture it stands for, so nothing jumps
        // when the picture replaces it. Exif states the stored size, before turning.
        const SViewSize size =
            viewTargetSize(e.info.mPixelXDimension, e.info.mPixelYDimension, mMaxTexSize);
        w = size.mWidth;
        h = size.mHeight;
    }
    if (turnsSideways(e.info.mOrientation))
        std::swap(w, h);
}

const SPictureEntry* CRuvello::entryToShow() const {
    const SPictureEntry* e = current();
    if (!e)
        return nullptr;
    if (e->leftLoaded || e->thumbnailShown)
        return e;
    // The previous photograph stays until the new one is ready.
    if (mCache.size() >= 2) {
        const SPictureEntry& previous = mCache[mCache.size() - 2];
        if (previous.leftLoaded)
            return &previous;
    }
    return nullptr;
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
    updateCache();

    const SPictureEntry* e = entryToShow();
    if (!e) {
        glPopMatrix();
        return;
    }
    int w = 1, h = 1;
    displaySize(*e, w, h);
    if (w != mImageWidth || h != mImageHeight) {
        mImageWidth = std::max(w, 1);
        mImageHeight = std::max(h, 1);
        mImageChanged = true;
        fitToWindow();
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
    glTranslatef(rightView ? mShift : -mShift, 0.0f, 0.0f);

    const bool useRight = (rightView && isMpoName(e->fileName)) || !e->leftLoaded;
    const GLuint left = e->leftLoaded ? e->texLeft : e->texThumb;
    glBindTexture(GL_TEXTURE_2D, useRight && e->rightLoaded ? e->texRight : left);
    // The picture as stored, whatever an earlier pass left in the environment.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    const float W = float(mImageWidth), H = float(mImageHeight);
    const float corners[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    glBegin(GL_TRIANGLE_STRIP);
    for (const auto& c : corners) {
        float s, t;
        orientedTexCoord(e->info.mOrientation, c[0], 1.0f - c[1], s, t);
        glTexCoord2f(s, t);
        glVertex2f(c[0] * W, c[1] * H);
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
    return mStereo && !(e && e->rightFailed && isMpoName(e->fileName));
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
    zoomAbout(v, v.zoom * 1.2589254f, float(mWindow->mMouseX), c);
    mUI->mZoom = v.zoom, mUI->mPosX = v.posX, mUI->mPosY = v.posY;
    clampPan();
}

void CRuvello::zoomOut() {
    SViewState v{mUI->mZoom, mUI->mPosX, mUI->mPosY};
    const float c = float(mWindow->mViewHeight - mWindow->mMouseY - 1);
    zoomAbout(v, v.zoom / 1.2589254f, float(mWindow->mMouseX), c);
    mUI->mZoom = v.zoom, mUI->mPosX = v.posX, mUI->mPosY = v.posY;
    fitZoom();
    clampPan();
}

bool CRuvello::keyboard(unsigned key) {
    switch (key) {
        case 'x':
            fitToWindow();
            return true;
        case 'z': {
            // 1:1 about the picture point at the centre of the view.
            SViewState v{mUI->mZoom, mUI->mPosX, mUI->mPosY};
            zoomAbout(v, 1.0f, mWindow->mViewWidth / 2.0f, mWindow->mViewHeight / 2.0f);
            mUI->mZoom = v.zoom, mUI->mPosX = v.posX, mUI->mPosY = v.posY;
            clampPan();
            return true;
        }
        case kKeyLeft:
            mShift -= 0.5f;
            return true;
        case kKeyRight:
            mShift += 0.5f;
            return true;
        default:
            return CApp::keyboard(key);
    }
}
