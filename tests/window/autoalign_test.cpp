// A stereo pair whose right picture sits too high and too far right shows aligned by
// itself: the status bar says what was done, the screen shows the two views on top of
// each other, and Stereo ▸ Auto Align switches it off and is remembered.
#include "CImgWindow.h"
#include "CRuvello.h"
#include "GLWidget.h"
#include "SUI.h"
#include "anaglyphExport.h"
#include "anaglyphMatrices.h"
#include "mpowrite.h"
#include "viewdecode.h"
#include "windowfixtures.h"

#include <QSettings>
#include <QStatusBar>

#include <gmock/gmock.h>

#include <array>
#include <cmath>
#include <random>

using testing::HasSubstr;

namespace {

// The part of picture that starts at (x0, y0), of width x height.
std::vector<uint8_t> cut(const std::vector<uint8_t>& rgb, int stride, int x0, int y0, int width,
                         int height) {
    std::vector<uint8_t> out;
    for (int y = y0; y < y0 + height; ++y)
        out.insert(out.end(), rgb.begin() + (size_t(y) * stride + x0) * 3,
                   rgb.begin() + (size_t(y) * stride + x0 + width) * 3);
    return out;
}

// A stereo MPO of two W x H parts of a scene W + 40 wide: the left one 20 px in from the
// top left corner, the right one showing the same content dx px further right and dy px
// higher.
std::vector<uint8_t> pairOf(const std::vector<uint8_t>& big, int W, int H, int dx, int dy) {
    const std::vector<uint8_t> left = cut(big, W + 40, 20, 20, W, H);
    const std::vector<uint8_t> right = cut(big, W + 40, 20 - dx, 20 + dy, W, H);
    SJpegWrite quality;
    quality.mQuality = 97;
    return buildMpoFile(encodeJpeg(left.data(), W, H, quality),
                        encodeJpeg(right.data(), W, H, quality), 0.065);
}

}  // namespace

TEST_F(WindowTest, AStereoPairShowsAlignedAndAutoAlignSwitchesItOff) {
    // One scene seen twice: the right picture's content 9 px higher and 24 px further
    // right than the left's.
    const int W = 640, H = 480;
    temp.write("pair.mpo", pairOf(matchableScene(W + 40, H + 40), W, H, 24, 9));
    QSettings().setValue("view/autoAlign", true);
    open(folder + "/pair.mpo");
    ASSERT_TRUE(action("actionAuto_Align")->isChecked());
    action("actionStereo")->trigger();
    ASSERT_TRUE(waitUntil([&] {
        return window->statusBar()->currentMessage().startsWith("aligned:");
    })) << window->statusBar()->currentMessage().toStdString();
    EXPECT_THAT(window->statusBar()->currentMessage().toStdString(),
                HasSubstr("aligned: vertical 9.0 px, rotation 0.00°, depth near 0.0 %, far 0.0 %, "
                          "total 0.0 % of the width"));

    // At 1:1 the middle of the frame shows the two views on top of each other: the
    // anaglyph of the left picture with itself.
    GLWidget* view = window->glWidget();
    QTest::keyClick(view, Qt::Key_Z);
    // The left picture as the view has it.
    const SImageHandle decoded =
        decodeForView({temp.path("pair.mpo"), EViewPicture::Left, 0, kViewMaxSize}, nullptr);
    ASSERT_EQ(decoded->mWidth, W);
    const CAnaglyphRenderer& r = view->application()->renderer();
    const int halos = r.removeHalos ? 1 : 0;
    // How far the frame is from the anaglyph of the left picture with itself, the two views
    // on top of each other: the mean difference of a channel over the shown picture, away
    // from its edges and the 24 px that only one eye sees.
    auto offTheLeftWithItself = [&] {
        CRuvello* app = view->application();
        app->endOverlay();
        const QImage frame = view->grabFramebuffer();
        const int ox = -int(std::lround(app->ui().mPosX));
        const int oy =
            view->glutWindow().mViewHeight - app->imageHeight() + int(std::lround(app->ui().mPosY));
        double sum = 0;
        int count = 0;
        for (int fy = 0; fy < frame.height(); fy += 3)
            for (int fx = 0; fx < frame.width(); fx += 3) {
                const int x = fx - ox, y = fy - oy;
                if (x < 4 || x >= W - 28 || y < 13 || y >= H - 4)
                    continue;
                const uint8_t* l = decoded->mPixels + (size_t(y) * W + x) * 3;
                const auto want = compositePixel(r.fc[halos][r.mode], r.filtL[halos][r.mode],
                                                 r.mapCol, r.swapped, l, l);
                const QColor got = frame.pixelColor(fx, fy);
                sum += std::abs(got.red() - want[0]) + std::abs(got.green() - want[1]) +
                       std::abs(got.blue() - want[2]);
                count += 3;
            }
        EXPECT_GT(count, 10000);
        return sum / std::max(count, 1);
    };
    const double alignedOff = offTheLeftWithItself();
    EXPECT_LT(alignedOff, 3.0) << "aligned";

    // Switched off (and remembered): the right view as stored, no longer on the left one.
    action("actionAuto_Align")->trigger();
    EXPECT_FALSE(QSettings().value("view/autoAlign").toBool());
    const double plainOff = offTheLeftWithItself();
    EXPECT_GT(plainOff, 10.0) << "not aligned";
    action("actionAuto_Align")->trigger();
    EXPECT_TRUE(QSettings().value("view/autoAlign").toBool());
}

// What the view shows of an aligned pair is what Export Anaglyph writes of it: the GL
// composite at 1:1 against the processor's, with the view's own alignment, away from
// the edges of what both eyes see.
TEST_F(WindowTest, TheAlignedViewIsTheExportedAnaglyph) {
    const int W = 640, H = 480;
    // Soft edges, so that the two ways of interpolating between texels agree.
    std::vector<uint8_t> big = matchableScene(W + 40, H + 40);
    for (int pass = 0; pass < 3; ++pass)
        for (int y = 1; y < H + 39; ++y)
            for (int x = 1; x < W + 39; ++x)
                for (int c = 0; c < 3; ++c) {
                    auto at = [&](int dx, int dy) {
                        return int(big[(size_t(y + dy) * (W + 40) + x + dx) * 3 + c]);
                    };
                    big[(size_t(y) * (W + 40) + x) * 3 + c] = uint8_t(
                        (4 * at(0, 0) + at(-1, 0) + at(1, 0) + at(0, -1) + at(0, 1) + 4) / 8);
                }
    temp.write("pair.mpo", pairOf(big, W, H, 13, 6));
    QSettings().setValue("view/autoAlign", true);
    open(folder + "/pair.mpo");
    action("actionStereo")->trigger();
    ASSERT_TRUE(waitUntil([&] {
        return window->statusBar()->currentMessage().startsWith("aligned:");
    })) << window->statusBar()->currentMessage().toStdString();
    GLWidget* view = window->glWidget();
    QTest::keyClick(view, Qt::Key_Z);
    CRuvello* app = view->application();
    const SPictureEntry* entry = app->currentEntry();
    ASSERT_TRUE(entry && entry->aligned && entry->alignment.mOk);
    app->endOverlay();
    const QImage frame = view->grabFramebuffer();

    SAnaglyphExport options;
    options.mAnaglyph = app->anaglyphSettings();
    options.mAlign = true;
    options.mAlignment = entry->alignment;  // a 640-pixel picture: the view's pixels are its own
    SStereoPair pair;
    std::string why;
    ASSERT_TRUE(prepareStereoPair(options, {temp.path("pair.mpo"), {}}, &pair, &why)) << why;
    SAnaglyphSettings settings = options.mAnaglyph;
    settings.mOrientation = pair.mOrientation;
    const SImageHandle exported = composeAnaglyph(*pair.mLeft, *pair.mRight, settings);
    ASSERT_NE(exported->mPixels, nullptr);
    const SAlignedOverlap o = alignedOverlap(entry->alignment, W, H);
    const int x0 = int(std::ceil(o.x0 - 1e-3)), y0 = int(std::ceil(o.y0 - 1e-3));
    ASSERT_NEAR(exported->mWidth, o.x1 - o.x0, 2.0);

    const int ox = -int(std::lround(app->ui().mPosX));
    const int oy =
        view->glutWindow().mViewHeight - app->imageHeight() + int(std::lround(app->ui().mPosY));
    int worst = 0, compared = 0;
    for (int fy = 0; fy < frame.height(); ++fy)
        for (int fx = 0; fx < frame.width(); ++fx) {
            const int u = fx - ox - x0, v = fy - oy - y0;
            if (u < 3 || v < 3 || u >= exported->mWidth - 3 || v >= exported->mHeight - 3)
                continue;
            const QColor got = frame.pixelColor(fx, fy);
            const uint8_t* want =
                exported->mPixels + (size_t(v) * exported->mWidth + u) * exported->mChannels;
            worst = std::max({worst, std::abs(got.red() - want[0]), std::abs(got.green() - want[1]),
                              std::abs(got.blue() - want[2])});
            ++compared;
        }
    EXPECT_GT(compared, 100000);
    EXPECT_LE(worst, 2);
}
