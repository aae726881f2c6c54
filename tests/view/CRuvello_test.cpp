// The image view on the off-screen test host: cache, previews, uploads, orientations
// and 1:1 drawing, with real decoding and real pixels from Mesa.
#include "AppTestHost.h"
#include "CRuvello.h"
#include "SUI.h"
#include "exifwrite.h"
#include "jpegwrite.h"
#include "mpowrite.h"
#include "tempfolder.h"
#include "viewFit.h"
#include "viewdecode.h"

#include <gmock/gmock.h>

#include <utility>

using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

const char* const kStereoVs = RUVELLO_SHADER_DIR "/stereo.vs";
const char* const kStereoFs = RUVELLO_SHADER_DIR "/stereo.fs";
const char* const kGrayVs = RUVELLO_SHADER_DIR "/gray.vs";
const char* const kGrayFs = RUVELLO_SHADER_DIR "/gray.fs";

// A picture whose pixels all differ, so that a turned, mirrored or shifted view shows.
std::vector<uint8_t> pattern(int w, int h, int seed = 0) {
    std::vector<uint8_t> rgb(size_t(w) * size_t(h) * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
            p[0] = uint8_t(40 + x * 200 / std::max(w - 1, 1));
            p[1] = uint8_t(40 + y * 200 / std::max(h - 1, 1));
            p[2] = uint8_t((x + y + seed) % 2 ? 230 : 20);
        }
    return rgb;
}

// A JPEG (quality 100) with an Exif block; the pixel values of the test then come from
// decoding the file, so that compression does not matter.
std::vector<uint8_t> jpegFile(int w, int h, int orientation, bool thumbnail, int seed = 0) {
    SExifWrite exif;
    exif.mDateTime = "2024:05:01 10:00:00";
    exif.mOrientation = orientation;
    exif.mPixelWidth = w;
    exif.mPixelHeight = h;
    if (thumbnail) {
        SJpegWrite small;
        exif.mThumbnail = encodeJpeg(pattern(16, 12, seed).data(), 16, 12, small);
    }
    SJpegWrite options;
    options.mQuality = 100;
    options.mApp1 = buildExifPayload(exif);
    return encodeJpeg(pattern(w, h, seed).data(), w, h, options);
}

class ViewTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (HasFatalFailure())
            return;
        host = std::make_unique<AppTestHost>(320, 240, 0);
        app = std::make_unique<CRuvello>(&host->mWindow);
    }
    void TearDown() override {
        if (app)
            app->shutdownGL();
    }
    void init() {
        CaptureStderr();
        host->initialize(*app, kStereoVs, kStereoFs);
        app->initShaders(kStereoVs, kStereoFs, kGrayVs, kGrayFs);
        host->resize(*app, 320, 240);
        GetCapturedStderr();
    }
    std::string paint() {
        CaptureStderr();
        host->paint(*app);
        return GetCapturedStderr();
    }
    std::string file(const std::string& name, const std::vector<uint8_t>& bytes) {
        return folder.write(name, bytes);
    }
    void select(const std::string& path) { app->selectPicture(path, readExif(path)); }
    SImageHandle decoded(const std::string& path, EViewPicture which = EViewPicture::Left) {
        return decodeForView({path, which, 0, app->maxTexSize()}, nullptr);
    }

    CTempFolder folder;
    std::unique_ptr<AppTestHost> host;
    std::unique_ptr<CRuvello> app;
};

}  // namespace

TEST_F(ViewTest, EveryOrientationShowsUprightPixelForPixelAtOneToOne) {
    init();
    const std::string plain = file("o1.jpg", jpegFile(8, 6, 1, false));
    const SImageHandle stored = decoded(plain);
    ASSERT_EQ(stored->mWidth, 8);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const std::string path =
            file("o" + std::to_string(orientation) + ".jpg", jpegFile(8, 6, orientation, false));
        select(path);
        paint();
        paint();  // the size is known once the picture is drawn
        const bool sideways = orientation >= 5;
        ASSERT_EQ(app->mImageWidth, sideways ? 6 : 8) << orientation;
        ASSERT_FLOAT_EQ(app->mUI->mZoom, 1.0f);
        const std::vector<uint8_t> shown = host->pixels();
        const int W = app->mImageWidth, H = app->mImageHeight;
        // The picture is centred; window row y (from the bottom) shows picture row
        // H - 1 - (y - y0) from the top.
        const int x0 = int(-app->mUI->mPosX), y0 = int(-app->mUI->mPosY);
        for (int dy = 0; dy < H; ++dy)
            for (int dx = 0; dx < W; ++dx) {
                int u = dx, v = dy;  // the stored pixel that belongs at (dx, dy) from the top
                switch (orientation) {
                    case 2:
                        u = 7 - dx;
                        break;
                    case 3:
                        u = 7 - dx, v = 5 - dy;
                        break;
                    case 4:
                        v = 5 - dy;
                        break;
                    case 5:
                        u = dy, v = dx;
                        break;
                    case 6:
                        u = dy, v = 5 - dx;
                        break;
                    case 7:
                        u = 7 - dy, v = 5 - dx;
                        break;
                    case 8:
                        u = 7 - dy, v = dx;
                        break;
                }
                const uint8_t* want = stored->mPixels + (v * 8 + u) * 3;
                const size_t at = (size_t(y0 + H - 1 - dy) * 320 + size_t(x0 + dx)) * 4;
                for (int c = 0; c < 3; ++c)
                    ASSERT_NEAR(shown[at + size_t(c)], want[c], 1)
                        << "orientation " << orientation << " at " << dx << "," << dy;
            }
    }
}

TEST_F(ViewTest, CacheKeepsTheLastFiveAndAHitDecodesNothing) {
    init();
    std::vector<std::string> paths;
    for (int i = 0; i < 6; ++i) {
        paths.push_back(file("p" + std::to_string(i) + ".jpg", jpegFile(20 + i, 10, 1, false, i)));
        select(paths.back());
        paint();
    }
    ASSERT_EQ(app->cache().size(), 5u);
    EXPECT_EQ(app->cache().front().fileName, paths[1]);
    const int decodes = app->syncDecodes();
    select(paths[2]);  // still cached: no decoding
    paint();
    EXPECT_EQ(app->syncDecodes(), decodes);
    EXPECT_EQ(app->cache().back().fileName, paths[2]);
    EXPECT_EQ(app->mImageWidth, 22);
    select(paths[0]);  // evicted: decoded anew
    paint();
    EXPECT_EQ(app->syncDecodes(), decodes + 1);
}

TEST_F(ViewTest, PreviewUntilTheFullPictureAndTheRightPictureWhenAFrameNeedsIt) {
    std::vector<std::pair<std::string, bool>> requests;
    app->setDecodeRequest(
        [&](const std::string& f, bool right, int, bool) { requests.emplace_back(f, right); });
    const std::vector<uint8_t> left = jpegFile(64, 48, 1, true, 0);
    const std::vector<uint8_t> right = jpegFile(48, 36, 1, false, 1);
    const std::string mpo = file("pair.mpo", buildMpoFile(left, right, 0.065));
    // Before GL set-up, as the widget's first show does it.
    select(mpo);
    app->setStereo(true);
    init();
    paint();
    const SPictureEntry& e = app->cache().back();
    EXPECT_TRUE(e.thumbnailShown);
    EXPECT_FALSE(e.leftLoaded);
    EXPECT_EQ(app->mImageWidth, 64);  // the preview takes the picture's own size
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1], std::make_pair(mpo, true));
    EXPECT_FALSE(app->pictureComplete());

    app->uploadPicture(mpo, false, decoded(mpo));
    app->uploadPicture(mpo, true, decoded(mpo, EViewPicture::Right));
    paint();
    EXPECT_TRUE(e.leftLoaded);
    EXPECT_FALSE(e.thumbnailShown);
    EXPECT_EQ(e.rightWidth, 48);  // each texture keeps its own size
    EXPECT_EQ(app->mImageWidth, 64);
    EXPECT_TRUE(app->pictureComplete());
    paint();
    EXPECT_EQ(requests.size(), 2u);  // nothing asked twice
}

TEST_F(ViewTest, AFailedRightPictureShowsMonoAndStalePixelsAreDropped) {
    app->setDecodeRequest([](const std::string&, bool, int, bool) {});
    init();
    const std::string mpo = file("one.mpo", jpegFile(40, 30, 1, false));
    select(mpo);
    app->setStereo(true);
    paint();
    app->uploadPicture(mpo, false, decoded(mpo));
    app->uploadPicture(mpo, true, decoded(mpo, EViewPicture::Right));  // no second picture
    EXPECT_THAT(paint(), HasSubstr("WARNING"));
    EXPECT_FALSE(app->stereoFrame());
    EXPECT_TRUE(app->pictureComplete());
    EXPECT_EQ(app->mImageWidth, 40);
    app->uploadPicture("gone.jpg", false, decoded(mpo));  // no entry: nothing happens
    paint();
}

TEST_F(ViewTest, DrawingIgnoresTheTextureEnvironmentLeftByOthers) {
    init();
    const std::string path = file("flat.jpg", jpegFile(16, 16, 1, false));
    select(path);
    paint();
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
    paint();
    const SImageHandle stored = decoded(path);
    const RGBA p = host->pixel(160, 120);
    const int x = 160 - int(-app->mUI->mPosX), yTop = 16 - 1 - (120 - int(-app->mUI->mPosY));
    const uint8_t* want = stored->mPixels + (yTop * 16 + x) * 3;
    EXPECT_NEAR(p[0], want[0], 1);
    EXPECT_NEAR(p[1], want[1], 1);
}

TEST(ViewFit, FitsWithoutEnlargingAndClampsToWholePixelsAtOneToOne) {
    SViewState v;
    fitToWindow(v, {800, 600, 400, 300});
    EXPECT_FLOAT_EQ(v.zoom, 1.0f);  // smaller than the window: 1:1, centred
    EXPECT_FLOAT_EQ(v.posX, -200.0f);
    fitToWindow(v, {800, 600, 4000, 3000});
    EXPECT_NEAR(v.zoom, 0.2f, 1e-6);
    v.zoom = 1.0f;
    v.posX = 10.7f;
    v.posY = 2990.0f;  // past the top: the window ends at the picture's last row
    clampPan(v, {800, 600, 4000, 3000});
    EXPECT_FLOAT_EQ(v.posX, 10.0f);
    EXPECT_FLOAT_EQ(v.posY, 2400.0f);
    zoomAbout(v, 2.0f, 400.0f, 300.0f);
    EXPECT_FLOAT_EQ(v.posX + 400.0f / 2.0f, 10.0f + 400.0f);
}
