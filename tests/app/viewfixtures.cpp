#include "viewfixtures.h"

#include "CRuvello.h"
#include "GLWidget.h"
#include "SUI.h"
#include "exifwrite.h"
#include "jpegwrite.h"
#include "mpowrite.h"
#include "pngio.h"
#include "viewdecode.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

namespace viewfix {

SRgb wavePicture(int width, int height, int seed) {
    SRgb p{width, height, std::vector<uint8_t>(size_t(width) * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* px = &p.mPixels[(size_t(y) * width + x) * 3];
            px[0] = uint8_t(128 + 110 * std::sin(x * 0.045 + seed));
            px[1] = uint8_t(128 + 110 * std::cos(y * 0.06 + 2.0 * seed));
            px[2] = uint8_t(128 + 110 * std::sin((x + y) * 0.03 + 3.0 * seed));
        }
    return p;
}

SRgb solidPicture(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
    SRgb p{width, height, {}};
    for (int i = 0; i < width * height; ++i)
        p.mPixels.insert(p.mPixels.end(), {r, g, b});
    return p;
}

SRgb stripePicture(int width, int height) {
    SRgb p{width, height, std::vector<uint8_t>(size_t(width) * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* px = &p.mPixels[(size_t(y) * width + x) * 3];
            px[0] = x % 2 ? 250 : 10;
            px[1] = y % 2 ? 240 : 20;
            px[2] = 128;
        }
    return p;
}

std::vector<uint8_t> jpegFile(const SRgb& picture, const SRgb* thumbnail) {
    SJpegWrite options;
    options.mQuality = 95;
    if (thumbnail) {
        SExifWrite exif;
        exif.mDateTime = "2021:06:05 10:11:12";
        exif.mPixelWidth = picture.mWidth;
        exif.mPixelHeight = picture.mHeight;
        exif.mThumbnail =
            encodeJpeg(thumbnail->mPixels.data(), thumbnail->mWidth, thumbnail->mHeight, {});
        options.mApp1 = buildExifPayload(exif);
    }
    return encodeJpeg(picture.mPixels.data(), picture.mWidth, picture.mHeight, options);
}

std::vector<uint8_t> mpoFile(const SRgb& left, const SRgb& right, const SRgb* thumbnail) {
    return buildMpoFile(jpegFile(left, thumbnail), jpegFile(right), 0.065);
}

void writePng(const std::string& path, const SRgb& picture) {
    // The writer takes frames as read back from GL: bottom row first.
    std::vector<uint8_t> flipped;
    for (int y = picture.mHeight - 1; y >= 0; --y)
        flipped.insert(flipped.end(), picture.at(0, y), picture.at(0, y) + picture.mWidth * 3);
    SImage image;
    image.mWidth = picture.mWidth;
    image.mHeight = picture.mHeight;
    image.mPixels = flipped.data();
    ASSERT_TRUE(writePngFile(path.c_str(), image));
}

SRgb decodedPicture(const std::string& path, bool right) {
    SViewDecode request;
    request.path = path;
    request.picture = right ? EViewPicture::Right : EViewPicture::Left;
    const SImageHandle image = decodeForView(request, nullptr);
    SRgb p;
    if (!image->mPixels || image->mChannels != 3)
        return p;
    p.mWidth = image->mWidth;
    p.mHeight = image->mHeight;
    p.mPixels.assign(image->mPixels, image->mPixels + size_t(p.mWidth) * p.mHeight * 3);
    return p;
}

bool waitFrame(GLWidget& view) {
    QSignalSpy frames(&view, &QOpenGLWidget::frameSwapped);
    view.update();
    return frames.wait(5000);
}

bool waitComplete(GLWidget& view) {
    CRuvello* app = view.application();
    if (!QTest::qWaitFor([&] { return view.isValid() && app->pictureComplete(); }, 10000))
        return false;
    // The last picture arrived in a queued call; the frame after it shows it.
    return waitFrame(view);
}

QImage settledFrame(GLWidget& view) {
    view.application()->endOverlay();
    return view.grabFramebuffer();
}

QPoint pictureOrigin(GLWidget& view) {
    const CRuvello* app = view.application();
    const int x = -int(std::lround(app->ui().mPosX));
    const int top =
        view.glutWindow().mViewHeight - app->imageHeight() + int(std::lround(app->ui().mPosY));
    return QPoint(x, top);
}

}  // namespace viewfix
