// The image view's textures: the size a picture is asked for at, the detail asked for
// when the screen could show more than a texture holds, and the uploads.
#include "CRuvello.h"

#include "SUI.h"
#include "glHelper.h"

#include <cmath>

namespace {

bool usable(const SImageHandle& h) {
    return h && h->mPixels && h->mWidth > 0 && h->mHeight > 0 &&
           (h->mChannels == 3 || h->mChannels == 4) && h->mBitDepth == 8;
}

}  // namespace

SPictureSize CRuvello::leftSize() const {
    // Before the first reshape the view has no size: the size it is expected to have, or
    // the picture in full.
    if (mWindow->mViewWidth <= 0 || mWindow->mViewHeight <= 0) {
        if (mExpectedWidth > 0 && mExpectedHeight > 0)
            return SPictureSize{mMaxTexSize, mExpectedWidth, mExpectedHeight};
        return SPictureSize{mMaxTexSize};
    }
    return SPictureSize{mMaxTexSize, mWindow->mViewWidth, mWindow->mViewHeight};
}

void CRuvello::requestDetail(SPictureEntry& e) {
    if (!mRequests || !e.leftLoaded || e.leftFailed || e.detailRequest ||
        e.wholeWidth <= e.leftWidth || e.leftWidth <= 0)
        return;
    // Screen pixels per texel along the width; the geometry is in whole pixels.
    const float zoom = mUI->mZoom;
    const float texelsPerPixel = float(e.leftWidth) / (float(e.wholeWidth) * zoom);
    if (texelsPerPixel >= 0.99f)
        return;
    int w = 1, h = 1;
    displaySize(e, w, h);
    const int coverWidth = int(std::ceil(float(w) * zoom));
    const int coverHeight = int(std::ceil(float(h) * zoom));
    if (coverWidth <= e.detailAsked)
        return;
    e.detailAsked = coverWidth;
    e.detailRequest = mRequests->request(e.fileName, EPicturePart::Left, EPriority::Current,
                                         SPictureSize{mMaxTexSize, coverWidth, coverHeight});
}

void CRuvello::uploadTexture(CGLTexture& texture, int& width, int& height, const SImage& image) {
    if (!texture) {
        glGenTextures(1, texture.out());
        width = height = 0;
    }
    glBindTexture(GL_TEXTURE_2D, texture.get());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mNearest ? GL_NEAREST : GL_LINEAR);
    // Rows of RGB pictures are not padded; the default of 4 comes back on the way out.
    const CPixelStoreGuard pixelStore;
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
    if (e.pendingThumbnail) {
        const SImageHandle h = std::move(e.pendingThumbnail);
        if (usable(h) && !e.leftLoaded) {
            uploadTexture(e.texThumb, e.thumbWidth, e.thumbHeight, *h);
            e.thumbnailShown = true;
        }
    }
    if ((e.pendingLeft || e.leftFailed) && !e.leftLoaded) {
        const SImageHandle h = std::move(e.pendingLeft);
        SImage red;
        red.mWidth = red.mHeight = 1;
        red.mChannels = 3;
        red.mPixels = const_cast<unsigned char*>(kRed);
        // A picture that cannot be read shows as one red pixel.
        const bool good = usable(h);
        uploadTexture(e.texLeft, e.leftWidth, e.leftHeight, good ? *h : red);
        e.leftFailed = !good;
        if (!good && e.failure.empty())
            e.failure = "the picture has no usable pixels";
        e.leftLoaded = true;
        // A pair on its way to the aligner keeps its preview until it can be shown.
        if (!awaitsAlignment(e))
            e.thumbnailShown = false;
    }
    if (e.pendingDetail) {
        const SImageHandle h = std::move(e.pendingDetail);
        if (e.leftLoaded && !e.leftFailed && h->mWidth > e.leftWidth)
            uploadTexture(e.texLeft, e.leftWidth, e.leftHeight, *h);
    }
    if (e.pendingRight) {
        const SImageHandle h = std::move(e.pendingRight);
        if (usable(h)) {
            uploadTexture(e.texRight, e.rightWidth, e.rightHeight, *h);
            e.rightLoaded = true;
        } else {
            e.rightFailed = true;
        }
    }
}
