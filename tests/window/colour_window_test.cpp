// Colours as a person sees them: a photo with a colour profile on the screen and in the
// converter's output, against Pillow's ImageCms conversion of the same file. The photo is
// made of flat patches in a corpus photo's profile (Generic RGB, gamma 1.8).
#include "CImgWindow.h"
#include "CRuvello.h"
#include "GLWidget.h"
#include "corpus.h"
#include "screenframes.h"
#include "srgbreference.h"
#include "tempfolder.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// 4 x 3 patches of 80 pixels, with the profile of the photo named second. Colours that
// the profile moves by up to 20 levels.
const char kPatches[] = R"(
import sys
from PIL import Image
profile = Image.open(sys.argv[2]).info['icc_profile']
picture = Image.new('RGB', (320, 240))
colours = [(200, 60, 40), (40, 160, 70), (50, 70, 190), (128, 128, 128), (230, 200, 90),
           (90, 40, 120), (30, 30, 30), (240, 150, 170), (60, 200, 210), (160, 110, 60),
           (100, 150, 40), (190, 190, 230)]
for i, colour in enumerate(colours):
    picture.paste(colour, (i % 4 * 80, i // 4 * 80, i % 4 * 80 + 80, i // 4 * 80 + 80))
picture.save(sys.argv[1], quality=100, subsampling=0, icc_profile=profile)
)";

const char kPhoto[] = "exif/ianare/orientation/portrait_6.jpg";

class ColourWindow : public testing::Test {
protected:
    void SetUp() override {
        if (corpusDir().empty())
            GTEST_SKIP() << "RUVELLO_TEST_CORPUS is not set: no photo with a colour profile";
        if (!havePillowCms())
            GTEST_SKIP() << "no Pillow with ImageCms in /usr/bin/python3: no reference";
        mPatches = mTemp.path("patches.jpg");
        ASSERT_TRUE(runPython(kPatches, "'" + mPatches + "' '" + corpusPath(kPhoto) + "'"));
        mReference = pillowInSrgb(mPatches);
        ASSERT_EQ(mReference.mWidth, 320);
    }
    // The reference colour in the middle of patch i.
    const unsigned char* patch(int i) const {
        const int x = i % 4 * 80 + 40, y = i / 4 * 80 + 40;
        return &mReference.mRgb[(size_t(y) * 320 + size_t(x)) * 3];
    }

    CTempFolder mTemp;
    std::string mPatches;
    SRgbPicture mReference;
};

// The mean difference of the colour samples of two pictures of one size; 255 when not.
double meanDifference(const SRgbPicture& a, const SRgbPicture& b) {
    if (a.mWidth != b.mWidth || a.mHeight != b.mHeight || a.mRgb.size() != b.mRgb.size() ||
        a.mRgb.empty())
        return 255;
    double sum = 0;
    for (size_t i = 0; i < a.mRgb.size(); ++i)
        sum += std::abs(int(a.mRgb[i]) - int(b.mRgb[i]));
    return sum / double(a.mRgb.size());
}

}  // namespace

TEST_F(ColourWindow, TheViewShowsThePatchesInTheirProfilesColours) {
    CImgWindow window(QString::fromStdString(mPatches));
    window.resize(1000, 700);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    GLWidget& view = *window.glWidget();
    CRuvello* app = view.application();
    ASSERT_TRUE(waitUntil([&] {
        return app->pictureComplete() && !view.busy() &&
               window.windowTitle().endsWith(QString::fromStdString(mPatches));
    }));
    app->endOverlay();
    QSignalSpy frames(&view, &QOpenGLWidget::frameSwapped);
    view.update();
    ASSERT_TRUE(frames.wait(5000));
    QTest::qWait(100);
    const QImage screen = grabView(view);
    // Every patch shows in its converted colour over most of its area, whatever the scale.
    for (int i = 0; i < 12; ++i) {
        const unsigned char* want = patch(i);
        int shown = 0;
        for (int y = 0; y < screen.height(); ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
            for (int x = 0; x < screen.width(); ++x)
                shown += std::abs(qRed(line[x]) - want[0]) <= 2 &&
                         std::abs(qGreen(line[x]) - want[1]) <= 2 &&
                         std::abs(qBlue(line[x]) - want[2]) <= 2;
        }
        EXPECT_GE(shown, 3000) << "patch " << i << ": " << int(want[0]) << " " << int(want[1])
                               << " " << int(want[2]);
    }
}

// The converter's side-by-side output of the photo twice: both halves in sRGB.
TEST_F(ColourWindow, TheConvertersOutputIsInSrgb) {
    const std::string out = mTemp.path("pair.jpg");
    const std::string command = std::string(RUVELLO_ANAGLYPH) +
                                " --layout parallel --quality 100 " + "-o '" + out + "' --pair '" +
                                mPatches + "' '" + mPatches + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const SRgbPicture written = pillowInSrgb(out);
    ASSERT_EQ(written.mWidth, 640);
    ASSERT_EQ(written.mHeight, 240);
    for (int half = 0; half < 2; ++half) {
        SRgbPicture side;
        side.mWidth = 320;
        side.mHeight = 240;
        for (int y = 0; y < 240; ++y) {
            const auto row = written.mRgb.begin() + (y * 640 + half * 320) * 3;
            side.mRgb.insert(side.mRgb.end(), row, row + 320 * 3);
        }
        EXPECT_LE(meanDifference(side, mReference), 1.0) << "half " << half;
    }
}
