// Stereo pairs on the screen as a person pages through them with real key presses
// (xdotool): the arrow keys' shift stays with the pair it was made on.
#include "CImageListModel.h"
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
