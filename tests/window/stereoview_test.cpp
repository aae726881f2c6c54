// Stereo pairs on the screen as a person pages through them with real key presses and
// clicks (xdotool): the arrow keys' shift stays with the pair it was made on, and a pair
// that was not read ahead never shows unaligned on its way to the screen.
#include "CImageListModel.h"
#include "exifwrite.h"
#include "CImgWindow.h"
#include "CRuvello.h"
#include "GLWidget.h"
#include "jpegwrite.h"
#include "mpowrite.h"
#include "screenframes.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>

#include <optional>
#include <random>

namespace {

// A pair whose two views are the same picture: bars of period wide, or a board of
// squares that size, in grey levels of their own.
std::vector<uint8_t> samePair(int period, bool board) {
    const int w = 640, h = 480;
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int cell = x / period + (board ? y / period : 0);
            const uint8_t v = uint8_t(cell % 2 ? 200 : 40 + (cell % 5) * 10);
            uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
            p[0] = v, p[1] = uint8_t(v * 3 / 4), p[2] = uint8_t(255 - v);
        }
    SJpegWrite quality;
    quality.mQuality = 95;
    const std::vector<uint8_t> view = encodeJpeg(rgb.data(), w, h, quality);
    return buildMpoFile(view, view, 0.065);
}

// A flat picture of one grey.
std::vector<uint8_t> flatPicture(uint8_t grey) {
    const std::vector<uint8_t> rgb(640 * 480 * 3, grey);
    return encodeJpeg(rgb.data(), 640, 480, SJpegWrite());
}

// A pair of 640 x 480 views of a grey scene with things of all sizes to match, the right
// view's content dy pixels higher than the left's, with a preview of the left one.
std::vector<uint8_t> raisedPair(int dy) {
    const int w = 640, h = 480, H = h + 40;
    std::vector<uint8_t> grey(size_t(w) * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < w; ++x)
            grey[size_t(y) * w + x] = uint8_t(60 + x * 80 / w + y * 40 / H);
    std::mt19937 random(7);
    for (int n = 0; n < 500; ++n) {
        const int rw = 4 + int(random() % 50), rh = 4 + int(random() % 50);
        const int x0 = int(random() % unsigned(w - rw)), y0 = int(random() % unsigned(H - rh));
        const uint8_t v = uint8_t(random());
        for (int y = y0; y < y0 + rh; ++y)
            std::fill_n(&grey[size_t(y) * w + x0], rw, v);
    }
    auto view = [&](int top, int step) {
        std::vector<uint8_t> rgb;
        for (int y = top; y < top + h; y += step)
            for (int x = 0; x < w; x += step)
                rgb.insert(rgb.end(), 3, grey[size_t(y) * w + x]);
        return rgb;
    };
    SJpegWrite options;
    options.mQuality = 95;
    const std::vector<uint8_t> right = encodeJpeg(view(20 + dy, 1).data(), w, h, options);
    SExifWrite exif;
    exif.mDateTime = "2023:03:03 13:00:00";
    exif.mPixelWidth = w;
    exif.mPixelHeight = h;
    exif.mThumbnail = encodeJpeg(view(20, 4).data(), w / 4, h / 4, SJpegWrite());
    options.mApp1 = buildExifPayload(exif);
    return buildMpoFile(encodeJpeg(view(20, 1).data(), w, h, options), right, 0.065);
}

// How far down the right view (the frame's green) lies against the left view (its red)
// in the middle of a frame: the offset of best correlation, and that correlation. None
// for a frame without structure there.
struct SOffset {
    int dy;
    double r;
};
std::optional<SOffset> viewsOffset(const QImage& frame) {
    const int cx = frame.width() / 2, cy = frame.height() / 2, half = 90, range = 24;
    std::optional<SOffset> best;
    for (int d = -range; d <= range; ++d) {
        double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0, n = 0;
        for (int y = cy - half; y < cy + half; y += 2)
            for (int x = cx - half; x < cx + half; x += 2) {
                const double a = qRed(frame.pixel(x, y)), b = qGreen(frame.pixel(x, y + d));
                sa += a, sb += b, saa += a * a, sbb += b * b, sab += a * b, n += 1;
            }
        const double va = saa - sa * sa / n, vb = sbb - sb * sb / n;
        if (va < n || vb < n)
            return std::nullopt;  // flat
        const double r = (sab - sa * sb / n) / std::sqrt(va * vb);
        if (!best || r > best->r)
            best = SOffset{d, r};
    }
    return best;
}

class StereoView : public testing::Test {
protected:
    void openAt(const std::string& name) {
        mWindow = std::make_unique<CImgWindow>(QString::fromStdString(mTemp.path(name)));
        mWindow->resize(1000, 700);
        mWindow->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(mWindow.get()));
        mWindow->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(mWindow.get()));
    }
    void TearDown() override { mWindow.reset(); }

    GLWidget& view() { return *mWindow->glWidget(); }
    int currentRow() const { return mWindow->listView()->currentIndex().row(); }

    // Waits until row is shown whole, then grabs the view off the screen.
    QImage settledOn(int row) {
        EXPECT_TRUE(waitUntil([&] { return currentRow() == row; }, 5000)) << "row " << row;
        const QString file = mWindow->listModel()->fullPath(mWindow->listModel()->index(row, 0));
        CRuvello* app = view().application();
        EXPECT_TRUE(waitUntil([&] {
            return app->pictureComplete() && !view().busy() &&
                   mWindow->windowTitle().endsWith(file);
        })) << "row "
            << row;
        app->endOverlay();  // the sketch that follows a resize for a moment
        QSignalSpy frames(&view(), &QOpenGLWidget::frameSwapped);
        view().update();
        EXPECT_TRUE(frames.wait(5000));
        QTest::qWait(100);
        return grabView(view());
    }
    QLabel* shiftLabel() { return mWindow->findChild<QLabel*>("shiftLabel"); }

    CTempFolder mTemp;
    std::unique_ptr<CImgWindow> mWindow;
};

}  // namespace

TEST_F(StereoView, AShiftStaysWithItsPairAndResetShiftTakesItBack) {
    mTemp.write("a.mpo", samePair(16, false));
    mTemp.write("b.mpo", samePair(20, true));
    QSettings().setValue("view/autoAlign", false);
    openAt("a.mpo");
    pressKeys(*mWindow, "shift+s");
    ASSERT_TRUE(mWindow->findChild<QAction*>("actionStereo")->isChecked());
    const QImage a = settledOn(0);
    pressKeys(*mWindow, "Next");
    const QImage b = settledOn(1);
    pressKeys(*mWindow, "Prior");
    EXPECT_LT(meanDifference(settledOn(0), a), 0.5);
    ASSERT_TRUE(shiftLabel());
    EXPECT_FALSE(shiftLabel()->isVisible());

    // Two presses of Shift+Right: 20 pixels between the views, on the screen and in the
    // status bar.
    pressKeys(*mWindow, "shift+Right", 2, 50);
    const QImage shifted = settledOn(0);
    EXPECT_GT(meanDifference(shifted, a), 5.0);
    EXPECT_TRUE(shiftLabel()->isVisible());
    EXPECT_EQ(shiftLabel()->text(), "shift +20.0 px");

    // The next pair shows as it did before, with no shift to tell.
    pressKeys(*mWindow, "Next");
    EXPECT_LT(meanDifference(settledOn(1), b), 0.5) << "the shift followed to the next pair";
    EXPECT_FALSE(shiftLabel()->isVisible());

    // Back on the first pair, its shift is there again.
    pressKeys(*mWindow, "Prior");
    EXPECT_LT(meanDifference(settledOn(0), shifted), 0.5) << "the pair lost its shift";
    EXPECT_EQ(shiftLabel()->text(), "shift +20.0 px");

    // Stereo ▸ Reset Shift, clicked in the menu.
    QMenuBar* bar = mWindow->menuBar();
    QMenu* stereo = mWindow->findChild<QMenu*>("menuStereo");
    QAction* reset = mWindow->findChild<QAction*>("actionReset_Shift");
    ASSERT_TRUE(stereo && reset);
    EXPECT_TRUE(reset->isEnabled());
    clickAt(*bar, bar->actionGeometry(stereo->menuAction()));
    ASSERT_TRUE(waitUntil([&] { return stereo->isVisible(); }, 5000));
    clickAt(*stereo, stereo->actionGeometry(reset));
    EXPECT_TRUE(waitUntil([&] { return !stereo->isVisible(); }, 5000));
    EXPECT_LT(meanDifference(settledOn(0), a), 0.5) << "Reset Shift left a shift";
    EXPECT_FALSE(shiftLabel()->isVisible());
    EXPECT_FALSE(reset->isEnabled());
}

TEST_F(StereoView, APairNotReadAheadNeverShowsUnaligned) {
    // Its unaligned anaglyph shows the right view 12 pixels off the left one.
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        mTemp.write(name, flatPicture(uint8_t(name[0])));
    mTemp.write("d.mpo", raisedPair(12));
    QSettings().setValue("view/autoAlign", true);
    openAt("a.jpg");
    pressKeys(*mWindow, "shift+s");
    settledOn(0);

    // Every frame that differs from the one before, from the click on the pair's row (two
    // rows past the one read ahead) until it shows aligned.
    std::vector<SOffset> frames;
    QImage last;
    CFrameRecorder recorder(view(), [&](const QImage& frame) {
        if (frame == last)
            return;
        last = frame;
        if (const std::optional<SOffset> offset = viewsOffset(frame))
            frames.push_back(*offset);
    });
    QTreeView* list = mWindow->listView();
    clickAt(*list->viewport(), list->visualRect(mWindow->listModel()->index(3, 0)));
    settledOn(3);
    QTest::qWait(300);

    ASSERT_FALSE(frames.empty()) << "the pair never showed";
    for (const SOffset& frame : frames)
        if (frame.r > 0.5)
            EXPECT_LE(std::abs(frame.dy), 2)
                << "a frame showed the views " << frame.dy << " px apart (r " << frame.r << ")";
    EXPECT_EQ(frames.back().dy, 0) << "the pair did not end aligned";
    EXPECT_GT(frames.back().r, 0.8);
}
