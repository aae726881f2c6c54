// The keys people try first in a photo viewer, pressed through the X server as a person
// presses them, and read back from the title, the screen and the window's frame.
#include "GLWidget.h"
// after the view, which brings its own GL header first
#include "screenframes.h"

#include <QDockWidget>
#include <QLineEdit>
#include <QMenuBar>
#include <QSettings>

#include <algorithm>

namespace {

constexpr int kStripe = 40;  // picture pixels of each black and each white stripe

// Black and white upright stripes, kStripe wide each.
std::vector<uint8_t> stripes(int w, int h) {
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            std::fill_n(&rgb[(size_t(y) * w + x) * 3], 3, uint8_t((x / kStripe) % 2 ? 255 : 0));
    return encodeJpeg(rgb.data(), w, h, SJpegWrite{});
}

class KeysTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        temp.write("s.jpg", stripes(1600, 1200));
    }
    void TearDown() override {
        QSettings().remove("slideShow/interval");
        WindowTest::TearDown();
    }
    void press(const char* key) { pressKeys(*window, key); }
    bool showing(const char* name) {
        return waitUntil([&] { return window->windowTitle().endsWith("/" + QString(name)); }, 5000);
    }
    // The median width of the white stripes across the middle of the view, in screen
    // pixels: kStripe times the zoom.
    int stripeWidth() {
        const QImage shot = grabView(*window->glWidget());
        const int y = shot.height() / 2;
        std::vector<int> runs;
        int run = 0;
        for (int x = 0; x < shot.width(); ++x) {
            if (qGray(shot.pixel(x, y)) > 128) {
                ++run;
            } else {
                if (run > 0 && run < x)  // not cut by the view's left edge
                    runs.push_back(run);
                run = 0;
            }
        }
        if (runs.empty())
            return 0;
        std::nth_element(runs.begin(), runs.begin() + runs.size() / 2, runs.end());
        return runs[runs.size() / 2];
    }
    ::testing::AssertionResult stripesOf(int width) {
        if (waitUntil([&] { return std::abs(stripeWidth() - width) <= 2; }, 5000))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "stripes " << stripeWidth() << " wide, not " << width;
    }
};

TEST_F(KeysTest, PagingKeysMoveOnePictureWhereverTheFocusIs) {
    open(folder);
    ASSERT_TRUE(showing("a.jpg"));
    press("space");
    EXPECT_TRUE(showing("b.jpg"));
    press("BackSpace");
    EXPECT_TRUE(showing("a.jpg"));
    press("End");
    EXPECT_TRUE(showing("s.jpg"));
    press("Home");
    EXPECT_TRUE(showing("a.jpg"));

    // After a click on a row, Page Down is the next picture, not the list's own page.
    // The folders make way, so that the list's page is longer than a row.
    window->findChild<QDockWidget*>("dockWidgetDir")->hide();
    QTreeView* list = window->listView();
    ASSERT_TRUE(
        waitUntil([&] { return list->viewport()->height() > 6 * list->sizeHintForRow(0); }));
    QTest::qWait(200);
    clickAt(*list->viewport(), list->visualRect(model().index(rowOf("b.jpg"), 0)));
    ASSERT_TRUE(showing("b.jpg"));
    press("Next");
    EXPECT_TRUE(showing("c.jpg"));
    press("Prior");
    EXPECT_TRUE(showing("b.jpg"));

    // The path field still types with the keys that page elsewhere.
    window->findChild<QDockWidget*>("dockWidgetDir")->show();
    QTest::qWait(200);
    QLineEdit* edit = window->pathEdit();
    clickAt(*edit, edit->rect());
    ASSERT_TRUE(waitUntil([&] { return edit->hasFocus(); }));
    const QString before = edit->text();
    for (const char* key : {"End", "space", "plus", "BackSpace", "minus"})
        press(key);
    EXPECT_TRUE(waitUntil([&] { return edit->text() == before + " -"; }, 5000))
        << edit->text().toStdString();
    EXPECT_EQ(currentRow(), rowOf("b.jpg"));
}

TEST_F(KeysTest, ZoomKeysAndFullScreen) {
    open(folder);
    press("End");
    ASSERT_TRUE(showing("s.jpg"));
    const int fit = stripeWidth();
    ASSERT_GT(fit, 2);
    ASSERT_LT(fit, kStripe - 5) << "the picture must be larger than the view";
    press("ctrl+1");
    EXPECT_TRUE(stripesOf(kStripe));
    press("plus");
    EXPECT_TRUE(stripesOf(50));  // a step of the wheel: 2^(1/3)
    press("minus");
    EXPECT_TRUE(stripesOf(kStripe));
    press("ctrl+0");
    EXPECT_TRUE(stripesOf(fit));
    // The plain digits keep their use: 1 turns the scene back, it does not zoom.
    press("1");
    QTest::qWait(300);
    EXPECT_TRUE(stripesOf(fit));

    // Full screen as a person sees it without a window manager: the menus and the list go.
    auto bare = [&] { return !window->menuBar()->isVisible() && !window->listView()->isVisible(); };
    press("F11");
    EXPECT_TRUE(waitUntil(bare)) << "not full screen";
    EXPECT_TRUE(window->windowState() & Qt::WindowFullScreen);
    press("F11");
    EXPECT_TRUE(waitUntil([&] { return !bare(); })) << "still full screen";
}

TEST_F(KeysTest, SlideShowAdvancesUntilAKeyOrAClickStopsIt) {
    QSettings().setValue("slideShow/interval", 1000);
    open(folder);
    ASSERT_TRUE(showing("a.jpg"));
    auto reaches = [&](const char* name) {
        return waitUntil([&] { return currentRow() == rowOf(name); }, 5000);
    };
    press("F5");
    EXPECT_TRUE(reaches("b.jpg"));
    EXPECT_TRUE(reaches("c.jpg"));
    EXPECT_TRUE(showing("c.jpg"));
    // A key stops it, and does nothing else: Space would have gone on.
    press("space");
    QTest::qWait(2500);
    EXPECT_EQ(currentRow(), rowOf("c.jpg"));

    press("Home");
    ASSERT_TRUE(showing("a.jpg"));
    press("F5");
    EXPECT_TRUE(reaches("b.jpg"));
    clickAt(*window->glWidget(), window->glWidget()->rect());
    QTest::qWait(2500);
    EXPECT_EQ(currentRow(), rowOf("b.jpg"));
}

}  // namespace
