// Pictures decoded at the size they are shown: what the screen shows has all the detail
// that its pixels can hold, and zooming in brings the picture's own pixels.
#include "AppTestHost.h"
#include "CRuvello.h"
#include "SUI.h"
#include "exifwrite.h"
#include "jpegwrite.h"
#include "orientation.h"
#include "steprequests.h"
#include "tempfolder.h"
#include "viewdecode.h"

#include <gtest/gtest.h>

#include <cmath>

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

// Fine stripes across both directions, a few screen pixels wide once fitted: a decode
// with less detail than the screen shows them washed out.
std::vector<uint8_t> grating(int w, int h, double period) {
    std::vector<uint8_t> rgb(size_t(w) * size_t(h) * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
            const double a = std::sin(2 * M_PI * x / period), b = std::sin(2 * M_PI * y / period);
            p[0] = uint8_t(128 + 100 * a);
            p[1] = uint8_t(128 + 100 * b);
            p[2] = uint8_t(128 + 50 * (a + b) / 2);
        }
    return rgb;
}

std::vector<uint8_t> jpegFile(int w, int h, int orientation, double period) {
    SExifWrite exif;
    exif.mOrientation = orientation;
    SJpegWrite options;
    options.mQuality = 100;
    options.mApp1 = buildExifPayload(exif);
    return encodeJpeg(grating(w, h, period).data(), w, h, options);
}

class ViewDetailTest : public GLTest {
protected:
    void start(int viewWidth, int viewHeight) {
        host = std::make_unique<AppTestHost>(viewWidth, viewHeight, 0);
        app = std::make_unique<CRuvello>(&host->mWindow);
        app->setPictureRequests(&steps);
        CaptureStderr();
        host->initialize(*app, kStereoVs, kStereoFs);
        app->initShaders(kStereoVs, kStereoFs, kGrayVs, kGrayFs);
        host->resize(*app, viewWidth, viewHeight);
        GetCapturedStderr();
    }
    void TearDown() override {
        if (app) {
            app->setPictureRequests(nullptr);
            app->shutdownGL();
        }
    }
    // Paints until nothing more is asked for.
    void settle() {
        for (int i = 0; i < 4; ++i) {
            CaptureStderr();
            host->paint(*app);
            steps.runAll(*app);
            host->paint(*app);
            GetCapturedStderr();
        }
    }
    // Mean difference per channel between the screen and the stored picture averaged over
    // each screen pixel's footprint, over the picture's middle (the edges meet the black).
    double differenceFromTruth(const SImage& stored, int orientation) {
        const std::vector<uint8_t> shown = host->pixels();
        const int vw = host->mWindow.mViewWidth, vh = host->mWindow.mViewHeight;
        const float z = app->ui().mZoom, px = app->ui().mPosX, py = app->ui().mPosY;
        const int W = app->imageWidth(), H = app->imageHeight();
        double sum = 0;
        long count = 0;
        for (int y = vh / 4; y < vh * 3 / 4; ++y)
            for (int x = vw / 4; x < vw * 3 / 4; ++x) {
                // The screen pixel's footprint in the shown picture, as fractions.
                const float a0 = (px + x / z) / W, a1 = (px + (x + 1) / z) / W;
                const float b0 = 1 - (py + (y + 1) / z) / H, b1 = 1 - (py + y / z) / H;
                if (a0 < 0 || b0 < 0 || a1 > 1 || b1 > 1)
                    continue;
                float s0, t0, s1, t1;
                orientedTexCoord(orientation, a0, b0, s0, t0);
                orientedTexCoord(orientation, a1, b1, s1, t1);
                const int u0 = int(std::min(s0, s1) * stored.mWidth);
                const int u1 = std::max(u0 + 1, int(std::max(s0, s1) * stored.mWidth));
                const int v0 = int(std::min(t0, t1) * stored.mHeight);
                const int v1 = std::max(v0 + 1, int(std::max(t0, t1) * stored.mHeight));
                double want[3] = {0, 0, 0};
                for (int v = v0; v < v1; ++v)
                    for (int u = u0; u < u1; ++u)
                        for (int c = 0; c < 3; ++c)
                            want[c] += stored.mPixels[(size_t(v) * stored.mWidth + u) * 3 + c];
                const double n = double(u1 - u0) * (v1 - v0);
                const uint8_t* got = &shown[(size_t(y) * vw + x) * 4];
                for (int c = 0; c < 3; ++c)
                    sum += std::abs(got[c] - want[c] / n);
                count += 3;
            }
        return count ? sum / count : 1e9;
    }

    CTempFolder folder;
    CStepRequests steps;
    std::unique_ptr<AppTestHost> host;
    std::unique_ptr<CRuvello> app;
};

}  // namespace

// Each case: a picture, its orientation, the view, and the stripes' period in stored
// pixels. A picture turned sideways fits the view turned: decoded for the stored sides
// the view would lose detail in the second case.
TEST_F(ViewDetailTest, FittedPicturesComeSmallerYetShowAllTheDetailTheScreenHolds) {
    struct SCase {
        int w, h, orientation, viewWidth, viewHeight;
        double period;
    };
    for (const SCase& c : {SCase{1600, 1200, 1, 320, 240, 13}, SCase{1200, 1600, 6, 320, 200, 15},
                           SCase{800, 600, 3, 300, 300, 7}}) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " orientation " +
                     std::to_string(c.orientation));
        start(c.viewWidth, c.viewHeight);
        const std::string path = folder.write("p" + std::to_string(c.orientation) + ".jpg",
                                              jpegFile(c.w, c.h, c.orientation, c.period));
        const SImageHandle stored = decodeForView({path, EViewPicture::Left, 0, 1 << 14}, nullptr);
        ASSERT_EQ(stored->mWidth, c.w);
        app->selectPicture(path);
        settle();
        ASSERT_TRUE(app->pictureComplete());
        // One decode, sharp at once: a smaller one would have asked for more.
        EXPECT_EQ(steps.mRequested.size(), 1u);
        steps.mRequested.clear();
        // Decoded smaller than the file, drawn at the file's size. The screen's error
        // against the stored pixels averaged over each screen pixel: about 10-15 for a
        // decode of the screen's detail or the file's own, 29-36 for one of less.
        EXPECT_LT(app->cache().back().leftWidth, c.w);
        EXPECT_EQ(std::max(app->imageWidth(), app->imageHeight()), std::max(c.w, c.h));
        EXPECT_LT(differenceFromTruth(*stored, c.orientation), 20.0);
        app->shutdownGL();
        app.reset();
    }
}

TEST_F(ViewDetailTest, ZoomingInPastTheDecodedSizeBringsThePicturesOwnPixels) {
    start(320, 240);
    const std::string path = folder.write("big.jpg", jpegFile(1600, 1200, 1, 9));
    const SImageHandle stored = decodeForView({path, EViewPicture::Left, 0, 1 << 14}, nullptr);
    app->selectPicture(path);
    settle();
    ASSERT_LT(app->cache().back().leftWidth, 1600);
    const size_t requests = steps.mRequested.size();
    app->keyboard('z');  // one picture pixel on one screen pixel
    settle();
    EXPECT_EQ(steps.mRequested.size(), requests + 1) << "one decode with more detail";
    EXPECT_FLOAT_EQ(app->ui().mZoom, 1.0f);
    EXPECT_LT(differenceFromTruth(*stored, 1), 4.0);  // 46 without the detail
    // Back to the whole picture and in again: what is there is not asked for again.
    app->keyboard('x');
    settle();
    app->keyboard('z');
    settle();
    EXPECT_EQ(steps.mRequested.size(), requests + 1);
}
