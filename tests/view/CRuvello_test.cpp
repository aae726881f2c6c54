// The image view on the off-screen test host: cache, previews, uploads, orientations
// and 1:1 drawing, with real decoding and real pixels from Mesa.
#include "AppTestHost.h"
#include "CRuvello.h"
#include "SUI.h"
#include "exifwrite.h"
#include "jpegwrite.h"
#include "mpowrite.h"
#include "tempfolder.h"
#include "viewAlign.h"
#include "viewFit.h"
#include "viewdecode.h"
#include "picturejob.h"
#include "steprequests.h"

#include <gmock/gmock.h>

#include <utility>

using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

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

// File offset of the second picture of an MPO made by buildMpoFile.
int64_t secondPictureOffsetOf(const std::vector<uint8_t>& bytes) {
    for (size_t i = 2; i + 3 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xD9 && bytes[i + 2] == 0xFF &&
            bytes[i + 3] == 0xD8)
            return int64_t(i) + 2;
    return -1;
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
        if (app) {
            // A test's requests went with its body.
            app->setPictureRequests(nullptr);
            app->shutdownGL();
        }
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
    void select(const std::string& path) { app->selectPicture(path); }
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
        ASSERT_EQ(app->imageWidth(), sideways ? 6 : 8) << orientation;
        ASSERT_FLOAT_EQ(app->ui().mZoom, 1.0f);
        const std::vector<uint8_t> shown = host->pixels();
        const int W = app->imageWidth(), H = app->imageHeight();
        // The picture is centred; window row y (from the bottom) shows picture row
        // H - 1 - (y - y0) from the top.
        const int x0 = int(-app->ui().mPosX), y0 = int(-app->ui().mPosY);
        for (int dy = 0; dy < H; ++dy)
            for (int dx = 0; dx < W; ++dx) {
                // The stored pixel that belongs at (dx, dy) from the top.
                float st, tt;
                orientedTexCoord(orientation, (dx + 0.5f) / W, (dy + 0.5f) / H, st, tt);
                const int u = int(st * 8), v = int(tt * 6);
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
    EXPECT_EQ(app->imageWidth(), 22);
    select(paths[0]);  // evicted: decoded anew
    paint();
    EXPECT_EQ(app->syncDecodes(), decodes + 1);
}

TEST_F(ViewTest, PreviewUntilTheFullPictureAndTheRightPictureWhenAFrameNeedsIt) {
    CStepRequests steps;
    app->setPictureRequests(&steps);
    const std::vector<uint8_t> left = jpegFile(64, 48, 1, true, 0);
    const std::vector<uint8_t> right = jpegFile(48, 36, 1, false, 1);
    const std::string mpo = file("pair.mpo", buildMpoFile(left, right, 0.065));
    // Before GL set-up, as the widget's first show does it: the first paint asks.
    select(mpo);
    app->setStereo(true);
    init();
    paint();
    ASSERT_EQ(steps.mRequested.size(), 1u);
    // What the file is comes first: a stereo pair, so its second view is asked for.
    steps.runNext(*app, true);
    ASSERT_EQ(steps.mRequested.size(), 2u);
    EXPECT_EQ(steps.mRequested[1].mPart, EPicturePart::Right);
    EXPECT_EQ(steps.mRequested[1].mFile, mpo);
    paint();
    const SPictureEntry& e = app->cache().back();
    EXPECT_TRUE(e.thumbnailShown);
    EXPECT_FALSE(e.leftLoaded);
    EXPECT_EQ(app->imageWidth(), 64);  // the preview takes the picture's own size
    EXPECT_FALSE(app->pictureComplete());
    EXPECT_TRUE(app->waiting());
    SShownPicture shown;
    ASSERT_TRUE(app->takeShownChange(shown));
    EXPECT_EQ(shown.state, EShown::Preview);
    EXPECT_EQ(shown.kind, EPictureKind::Mpo);

    steps.releaseHeld(*app);
    steps.runAll(*app);
    paint();
    EXPECT_TRUE(e.leftLoaded);
    EXPECT_FALSE(e.thumbnailShown);
    EXPECT_EQ(e.rightWidth, 48);  // each texture keeps its own size
    EXPECT_EQ(app->imageWidth(), 64);
    EXPECT_TRUE(app->pictureComplete());
    EXPECT_FALSE(app->waiting());
    ASSERT_TRUE(app->takeShownChange(shown));
    EXPECT_EQ(shown.state, EShown::Full);
    EXPECT_TRUE(shown.stereo);
    paint();
    EXPECT_FALSE(app->takeShownChange(shown)) << "reported again without a change";
    // Nothing asked twice: the two views and their alignment.
    ASSERT_EQ(steps.mRequested.size(), 3u);
    EXPECT_EQ(steps.mRequested[2].mPart, EPicturePart::Alignment);
}

// The alignment of a stereo pair is asked for as soon as both views are decoded, from the
// pixels the view has, and the pair is shown only with its answer, before the read-ahead;
// the answer stays with the cache entry, so that coming back to the pair asks for nothing.
TEST_F(ViewTest, TheAlignmentFollowsTheWholePairAndIsKeptWithItsPicture) {
    CStepRequests steps;
    app->setPictureRequests(&steps);
    const std::string mpo = file("pair.mpo", buildMpoFile(jpegFile(64, 48, 1, false, 0),
                                                          jpegFile(64, 48, 1, false, 1), 0.065));
    const std::string other = file("other.jpg", jpegFile(30, 20, 1, false, 2));
    auto alignments = [&] {
        return std::count_if(
            steps.mRequested.begin(), steps.mRequested.end(),
            [](const SPictureJob& j) { return j.mPart == EPicturePart::Alignment; });
    };
    app->setStereo(true);
    init();
    select(mpo);
    app->setReadAhead(other);
    paint();
    steps.runNext(*app);  // the left view, and what the file is: the right one is asked for
    EXPECT_EQ(alignments(), 0);
    steps.runNext(*app);
    ASSERT_EQ(alignments(), 1) << "not asked for as soon as both views were there";
    const SPictureJob align = steps.mRequested.back();
    EXPECT_EQ(align.mFile, mpo);
    // The pixels decoded for the view, not a second decode.
    ASSERT_TRUE(align.mLeft && align.mRight);
    EXPECT_EQ(align.mLeft->mWidth, 64);
    EXPECT_EQ(align.mRight->mWidth, 64);
    // Until the answer the frame shows one view alone, and nothing is read ahead.
    paint();
    EXPECT_FALSE(app->pictureComplete());
    SShownPicture shown;
    ASSERT_TRUE(app->takeShownChange(shown));
    EXPECT_EQ(shown.state, EShown::Preview);
    const size_t before = steps.mRequested.size();
    app->frameDone();
    EXPECT_EQ(steps.mRequested.size(), before);
    steps.runAll(*app);
    paint();
    ASSERT_TRUE(app->takeShownChange(shown));
    EXPECT_EQ(shown.state, EShown::Full);
    EXPECT_TRUE(shown.aligned);
    app->frameDone();
    ASSERT_EQ(steps.mRequested.size(), before + 1);
    EXPECT_EQ(steps.mRequested.back().mFile, other);
    steps.runAll(*app);
    paint();

    select(other);
    paint();
    app->frameDone();
    select(mpo);
    paint();
    app->frameDone();
    steps.runAll(*app);
    paint();
    EXPECT_EQ(alignments(), 1);
    ASSERT_TRUE(app->takeShownChange(shown));
    EXPECT_TRUE(shown.aligned);

    // Auto Align off draws the pair as it is; on again, the kept answer is drawn at once.
    app->setAutoAlign(false);
    paint();
    ASSERT_TRUE(app->takeShownChange(shown));
    EXPECT_FALSE(shown.aligned);
    app->setAutoAlign(true);
    paint();
    ASSERT_TRUE(app->takeShownChange(shown));
    EXPECT_TRUE(shown.aligned);
    EXPECT_EQ(alignments(), 1);
}

// The rule that keeps pictures from being lost when the user pages faster than the
// decodes: whatever ended a request, a current picture without pixels is asked for again.
TEST_F(ViewTest, ACurrentPictureWithoutPixelsIsAskedForAgain) {
    CStepRequests steps;
    app->setPictureRequests(&steps);
    init();
    const std::string a = file("a.jpg", jpegFile(30, 20, 1, false, 1));
    const std::string b = file("b.jpg", jpegFile(40, 20, 1, false, 2));
    select(a);
    select(b);  // a is no longer wanted: its request goes
    ASSERT_EQ(steps.mRequested.size(), 2u);
    EXPECT_EQ(steps.mCancelled, std::vector<RequestId>{steps.mRequested[0].mId});
    select(a);  // back again before anything arrived: asked for anew
    ASSERT_EQ(steps.mRequested.size(), 3u);
    EXPECT_EQ(steps.mRequested[2].mFile, a);
    steps.runAll(*app);  // the cancellations arrive late, and a's picture
    paint();
    EXPECT_EQ(app->imageWidth(), 30);
    EXPECT_TRUE(app->pictureComplete());

    // A request the source ends without pixels (it gave way, say) is made again.
    select(b);
    ASSERT_EQ(steps.mRequested.back().mFile, b);
    SPictureResult ended;
    ended.mId = steps.mRequested.back().mId;
    ended.mFile = b;
    ended.mOutcome = EOutcome::Cancelled;
    steps.mRequested.pop_back();
    steps.forget(ended.mId);
    const size_t before = steps.mRequested.size();
    app->pictureFinished(ended);
    ASSERT_EQ(steps.mRequested.size(), before + 1);
    EXPECT_EQ(steps.mRequested.back().mFile, b);
    steps.runAll(*app);
    paint();
    EXPECT_EQ(app->imageWidth(), 40);
}

TEST_F(ViewTest, AFailedRightPictureShowsMonoAndStalePixelsAreDropped) {
    CStepRequests steps;
    app->setPictureRequests(&steps);
    init();
    // A stereo pair by its MP index whose second picture ends inside its headers.
    std::vector<uint8_t> bytes =
        buildMpoFile(jpegFile(40, 30, 1, false), jpegFile(40, 30, 1, false, 1), 0.065);
    const int64_t second = secondPictureOffsetOf(bytes);
    ASSERT_GT(second, 0);
    bytes.resize(size_t(second) + 40);
    const std::string mpo = file("one.mpo", bytes);
    select(mpo);
    app->setStereo(true);
    paint();
    CaptureStderr();
    steps.runAll(*app);
    const std::string console = GetCapturedStderr();
    paint();
    ASSERT_EQ(steps.mRequested.size(), 2u);
    EXPECT_THAT(console, HasSubstr("WARNING"));
    EXPECT_FALSE(app->stereoFrame());
    EXPECT_TRUE(app->pictureComplete());
    EXPECT_EQ(app->imageWidth(), 40);
    SShownPicture shown;
    ASSERT_TRUE(app->takeShownChange(shown));
    EXPECT_FALSE(shown.stereo) << "no export for a pair without its second view";
    // Pixels of a file no entry holds change nothing.
    SPictureResult stale;
    stale.mId = 999;
    stale.mFile = "gone.jpg";
    stale.mOutcome = EOutcome::Delivered;
    stale.mImage = decoded(mpo);
    app->pictureFinished(stale);
    paint();
    EXPECT_EQ(app->cache().size(), 1u);
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
    const int x = 160 - int(-app->ui().mPosX), yTop = 16 - 1 - (120 - int(-app->ui().mPosY));
    const uint8_t* want = stored->mPixels + (yTop * 16 + x) * 3;
    EXPECT_NEAR(p[0], want[0], 1);
    EXPECT_NEAR(p[1], want[1], 1);
}

// Around a picture smaller than the window the screen is black in every colour mode,
// while the picture itself goes through the mapping (the restricted range lifts black).
TEST_F(ViewTest, OutsideThePictureStaysBlackInTheRestrictedRange) {
    init();
    const std::string mpo = file("pair.mpo", buildMpoFile(jpegFile(64, 48, 1, false, 0),
                                                          jpegFile(64, 48, 1, false, 1), 0.065));
    app->setStereo(true);
    app->setAutoAlign(false);
    select(mpo);
    paint();
    paint();
    ASSERT_TRUE(app->pictureComplete());
    for (const bool restricted : {false, true}) {
        SCOPED_TRACE(restricted ? "restricted range" : "full range");
        app->restrictedRange(restricted);
        app->endOverlay();
        paint();
        for (const auto& [x, y] : {std::pair{2, 2}, std::pair{317, 237}, std::pair{2, 237}}) {
            const RGBA p = host->pixel(x, y);
            EXPECT_EQ(p[0] + p[1] + p[2], 0) << x << ", " << y;
        }
        const RGBA inside = host->pixel(160, 120);
        EXPECT_GT(inside[0] + inside[1] + inside[2], 0);
    }
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

// What each view draws of an aligned pair: both keep to what both eyes see, and the right
// one takes its texels where the alignment finds the left picture's points.
TEST(ViewAlign, AlignedViewsKeepToTheOverlapAndTheRightFollowsTheAlignment) {
    for (int orientation = 1; orientation <= 8; ++orientation)
        for (const float s : {0.0f, 0.3f, 1.0f})
            for (const float t : {0.0f, 0.6f, 1.0f}) {
                float a, b, s2, t2;
                displayedPoint(orientation, s, t, a, b);
                orientedTexCoord(orientation, a, b, s2, t2);
                ASSERT_FLOAT_EQ(s2, s) << orientation;
                ASSERT_FLOAT_EQ(t2, t) << orientation;
            }

    // A right picture 10 px too high and 20 px too far right (y downwards): it belongs
    // 10 px lower and 20 px further left.
    SStereoAlignment a;
    a.mOk = true;
    a.mDx = -20;
    a.mDy = 10;
    const SViewQuad plain = viewQuad(1, 200, 100, nullptr, true, 200, 100);
    EXPECT_FLOAT_EQ(plain.x[3], 200);
    EXPECT_FLOAT_EQ(plain.s[3], 1);
    const SViewQuad left = viewQuad(1, 200, 100, &a, false, 200, 100);
    const SViewQuad right = viewQuad(1, 200, 100, &a, true, 200, 100);
    // Corner 2 is the top left: the overlap starts 10 px down, and ends 20 px before the
    // right edge.
    EXPECT_NEAR(left.x[2], 0, 1e-4);
    EXPECT_NEAR(left.y[2], 90, 1e-4);  // y upwards: 100 - 10
    EXPECT_NEAR(left.x[1], 180, 1e-4);
    EXPECT_NEAR(left.s[2], 0, 1e-6);
    EXPECT_NEAR(left.t[2], 0.1, 1e-6);
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(right.x[i], left.x[i]);
        EXPECT_FLOAT_EQ(right.y[i], left.y[i]);
        EXPECT_NEAR(right.s[i], left.s[i] + 20.0 / 200, 1e-6) << i;
        EXPECT_NEAR(right.t[i], left.t[i] - 10.0 / 100, 1e-6) << i;
        EXPECT_GE(right.s[i], -1e-6);
        EXPECT_LE(right.s[i], 1 + 1e-6);
    }
    // Turned sideways (orientation 6), the overlap turns with the picture.
    const SViewQuad sideways = viewQuad(6, 100, 200, &a, false, 200, 100);
    EXPECT_NEAR(sideways.x[1] - sideways.x[0], 90, 1e-3);   // 100 rows less the 10 cut
    EXPECT_NEAR(sideways.y[2] - sideways.y[0], 180, 1e-3);  // 200 columns less the 20 cut
    // A refused alignment changes nothing.
    a.mOk = false;
    const SViewQuad refused = viewQuad(1, 200, 100, &a, true, 200, 100);
    EXPECT_FLOAT_EQ(refused.s[3], 1);
    EXPECT_FLOAT_EQ(refused.y[3], 100);
}
