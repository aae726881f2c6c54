// Paging as a person pages: real key presses through the X server (xdotool), in bursts
// faster than a picture decodes, through twenty large pictures of flat colours, every
// other one with an Exif thumbnail of another colour. After each burst settles, the screen must
// show the current row's own picture (not its thumbnail, not another row's), the title must name it
// and the wait cursor must be gone.
#include "CImageListModel.h"
#include "CImgWindow.h"
#include "CPictureSource.h"
#include "CRuvello.h"
#include "GLWidget.h"
#include "anaglyphMatrices.h"
#include "exifwrite.h"
#include "jpegwrite.h"
#include "mpowrite.h"
#include "screenframes.h"
#include "tempfolder.h"
#include "windowfixtures.h"
#include "viewdecode.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <QItemSelectionModel>

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr int kPictures = 20;
constexpr int kWidth = 4000, kHeight = 3000;

// With Exif data when it has a thumbnail or exif says so.
std::vector<uint8_t> flatJpeg(int w, int h, QColor colour, const QColor* thumbnail,
                              bool exif = false) {
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    const uint8_t pixel[3] = {uint8_t(colour.red()), uint8_t(colour.green()),
                              uint8_t(colour.blue())};
    for (size_t i = 0; i < size_t(w) * 3; ++i)
        rgb[i] = pixel[i % 3];
    for (int y = 1; y < h; ++y)
        std::copy(rgb.begin(), rgb.begin() + w * 3, rgb.begin() + size_t(y) * w * 3);
    SJpegWrite options;
    options.mQuality = 90;
    if (thumbnail || exif) {
        SExifWrite tags;
        tags.mDateTime = "2022:02:02 12:00:00";
        tags.mPixelWidth = w;
        tags.mPixelHeight = h;
        if (thumbnail)
            tags.mThumbnail = flatJpeg(160, 120, *thumbnail, nullptr);
        options.mApp1 = buildExifPayload(tags);
    }
    return encodeJpeg(rgb.data(), w, h, options);
}

class Paging : public testing::TestWithParam<bool> {
protected:
    bool stereo() const { return GetParam(); }

    void SetUp() override {
        for (int i = 0; i < kPictures; ++i) {
            const QColor picture = QColor::fromHsvF(i / double(kPictures), 0.8, 0.85);
            const QColor thumbnail =
                QColor::fromHsvF(std::fmod(i / double(kPictures) + 0.5, 1.0), 1.0, 0.4);
            char name[32];
            std::snprintf(name, sizeof name, "p%02d.%s", i, stereo() ? "mpo" : "jpg");
            // Every other picture without a preview: nothing of it can be shown before its
            // decode ends.
            const std::vector<uint8_t> left =
                flatJpeg(kWidth, kHeight, picture, i % 2 ? nullptr : &thumbnail, true);
            mTemp.write(
                name,
                stereo() ? buildMpoFile(
                               left, flatJpeg(kWidth, kHeight, picture.darker(150), nullptr), 0.065)
                         : left);
        }
        mWindow = std::make_unique<CImgWindow>(QString::fromStdString(mTemp.path()));
        mWindow->resize(1000, 700);
        mWindow->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(mWindow.get()));
        if (stereo())
            mWindow->findChild<QAction*>("actionStereo")->trigger();
        ASSERT_EQ(mWindow->listModel()->rowCount(), kPictures);
        settledOn(0);
    }
    void TearDown() override { mWindow.reset(); }

    int currentRow() const { return mWindow->listView()->currentIndex().row(); }

    // Presses the key count times through the X server, a press every delay ms.
    void press(const char* key, int count, int delay) { pressKeys(*mWindow, key, count, delay); }

    // The colour the view must show in the middle of the picture of row.
    QColor expectedColour(int row) const {
        const std::string file =
            mWindow->listModel()->filePath(mWindow->listModel()->index(row, 0)).toStdString();
        auto centre = [&](EViewPicture which) {
            const SImageHandle image = decodeForView({file, which, 0, 64}, nullptr);
            const uint8_t* p = image->mPixels +
                               (size_t(image->mHeight / 2) * image->mWidth + image->mWidth / 2) * 3;
            return std::array<uint8_t, 3>{p[0], p[1], p[2]};
        };
        const auto left = centre(EViewPicture::Left);
        if (!stereo())
            return QColor(left[0], left[1], left[2]);
        const auto right = centre(EViewPicture::Right);
        const CAnaglyphRenderer& r = mWindow->glWidget()->application()->renderer();
        const int halos = r.removeHalos ? 1 : 0;
        const auto c = compositePixel(r.fc[halos][r.mode], r.filtL[halos][r.mode], r.mapCol,
                                      r.swapped, left.data(), right.data());
        return QColor(c[0], c[1], c[2]);
    }

    // Waits for the window to settle on row, then checks what it shows.
    void settledOn(int row) {
        // xdotool ends once it has sent its last key, which the window may not have read
        // yet; a key that was lost never arrives.
        waitUntil([&] { return currentRow() == row; }, 5000);
        ASSERT_EQ(currentRow(), row) << "a key press was lost";
        GLWidget* view = mWindow->glWidget();
        CRuvello* app = view->application();
        const QString file = mWindow->listModel()->fullPath(mWindow->listModel()->index(row, 0));
        const bool settled = waitUntil([&] {
            return app->pictureComplete() && !view->busy() && mWindow->windowTitle().endsWith(file);
        });
        EXPECT_TRUE(settled) << "row " << row << ": complete " << app->pictureComplete()
                             << ", busy " << view->busy() << ", title "
                             << mWindow->windowTitle().toStdString();
        EXPECT_EQ(mWindow->windowTitle(),
                  QString("Ruvello - (%1x%2) %3").arg(kWidth).arg(kHeight).arg(file));
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "row " << row;
        // What the screen shows: the window's pixels as the X server has them, after
        // the transient overlay has gone.
        app->endOverlay();
        QSignalSpy frames(view, &QOpenGLWidget::frameSwapped);
        view->update();
        ASSERT_TRUE(frames.wait(5000));
        QTest::qWait(50);
        const QPoint centre = view->mapTo(mWindow.get(), view->rect().center());
        const QImage screen = mWindow->screen()->grabWindow(mWindow->winId()).toImage();
        const QColor shown = screen.pixelColor(centre);
        const QColor want = expectedColour(row);
        EXPECT_NEAR(shown.red(), want.red(), 3) << "row " << row;
        EXPECT_NEAR(shown.green(), want.green(), 3) << "row " << row;
        EXPECT_NEAR(shown.blue(), want.blue(), 3) << "row " << row;
    }

    CTempFolder mTemp;
    std::unique_ptr<CImgWindow> mWindow;
};

}  // namespace

TEST_P(Paging, BurstsFasterThanADecodeEndOnTheRightPictureInFull) {
    press("Next", 7, 25);
    settledOn(7);
    press("Prior", 3, 25);
    settledOn(4);
    press("Next", 30, 20);  // past the end: the last row stays
    settledOn(kPictures - 1);
    press("Prior", 9, 40);
    settledOn(kPictures - 10);
    // And at a person's pace, one row at a time.
    for (int row = kPictures - 9; row < kPictures - 6; ++row) {
        QTest::qWait(400);
        press("Next", 1, 0);
        settledOn(row);
    }
}

// Whatever the pace, the view never goes black between two pictures: the last picture
// shown stays until something of the new one can be drawn. (The middle of the view is
// grabbed, where every picture lies: the grabs are quicker so.)
TEST_P(Paging, FastBurstsNeverShowABlackView) {
    int black = 0;
    CFrameRecorder recorder(
        *mWindow->glWidget(),
        [&](const QImage& frame) {
            for (int y = 2; y < frame.height() - 2; y += 4)
                for (int x = 2; x < frame.width() - 2; x += 4) {
                    const QRgb p = frame.pixel(x, y);
                    if (std::max({qRed(p), qGreen(p), qBlue(p)}) > 12)
                        return;
                }
            ++black;
        },
        QRect(mWindow->glWidget()->rect().center() - QPoint(100, 100), QSize(200, 200)));
    int row = 0;
    for (const char* key : {"Next", "Prior"})
        for (int delay : {40, 300, 70, 150, 100, 55}) {
            press(key, 3, delay);
            row += std::strcmp(key, "Next") == 0 ? 3 : -3;
            waitUntil([&] { return currentRow() == row; }, 5000);
            ASSERT_EQ(currentRow(), row) << "a key press was lost";
            QTest::qWait(delay);
        }
    settledOn(0);
    EXPECT_GT(recorder.grabs(), 100);
    EXPECT_EQ(black, 0) << "of " << recorder.grabs() << " grabs of the screen";
}

INSTANTIATE_TEST_SUITE_P(Window, Paging, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "Stereo" : "Mono";
                         });

namespace {

// A JPEG with an MP index whose second picture is not a view (a depth or gain map of
// another size, MP type 0), as phones write them.
std::vector<uint8_t> mapMpo(const std::vector<uint8_t>& picture, const std::vector<uint8_t>& map) {
    std::vector<uint8_t> file = buildMpoFile(picture, map, 0.065);
    const uint8_t first[4] = {0x20, 0x02, 0x00, 0x02};  // MP entry 1's attribute
    const auto at = std::search(file.begin(), file.end(), first, first + 4) - file.begin() + 16;
    std::fill(file.begin() + at, file.begin() + at + 4, 0);
    return file;
}

}  // namespace

// The title, the Exif dock and the menus follow each step between a plain photo, a
// stereo pair, a photo with a depth map and a PNG of the same size.
TEST(PagingKinds, TitleExportAndOrientationFollowEachStep) {
    CTempFolder temp;
    const QColor grey(120, 120, 120);
    temp.write("1-photo.jpg", flatJpeg(800, 600, grey, &grey));
    temp.write("2-pair.mpo", buildMpoFile(flatJpeg(800, 600, grey, &grey),
                                          flatJpeg(800, 600, grey.darker(), nullptr), 0.065));
    temp.write("3-map.mpo",
               mapMpo(flatJpeg(800, 600, grey, &grey), flatJpeg(80, 60, grey, nullptr)));
    QImage(800, 600, QImage::Format_RGB888).save(QString::fromStdString(temp.path("4-plain.png")));
    CImgWindow window(QString::fromStdString(temp.path()));
    window.resize(900, 600);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.findChild<QAction*>("actionStereo")->trigger();
    CImageListModel& model = *window.listModel();
    ASSERT_EQ(model.rowCount(), 4);
    QAction* exportAction = window.findChild<QAction*>("actionExport_Anaglyph");
    QAction* orientation = window.findChild<QAction*>("actionOrientation_Right_Top");

    struct SStep {
        const char* key;
        int row;
        bool pair, orientable;
    };
    // What the menus say the moment the row changes, after the window has heard of it.
    bool exportAtChange = true, orientableAtChange = false;
    QObject::connect(window.listView()->selectionModel(), &QItemSelectionModel::currentChanged,
                     [&] {
                         exportAtChange = exportAction->isEnabled();
                         orientableAtChange = orientation->isEnabled();
                     });
    const SStep steps[] = {{"Next", 1, true, true},  {"Next", 2, false, true},
                           {"Prior", 1, true, true}, {"Prior", 0, false, true},
                           {"Next", 1, true, true},  {"Next", 2, false, true},
                           {"Next", 3, false, false}};
    for (const SStep& step : steps) {
        QProcess xdotool;
        xdotool.start("xdotool", {"key", "--window", QString::number(window.winId()), step.key});
        ASSERT_TRUE(waitUntil([&] { return window.listView()->currentIndex().row() == step.row; }))
            << step.key << " to row " << step.row;
        // At once: nothing of the previous picture's state stays on the menus.
        EXPECT_FALSE(exportAtChange) << "row " << step.row;
        EXPECT_EQ(orientableAtChange, step.orientable) << "row " << step.row;
        const QString file = model.fullPath(model.index(step.row, 0));
        ASSERT_TRUE(waitUntil([&] {
            return window.glWidget()->application()->pictureComplete() &&
                   window.windowTitle().endsWith(file);
        })) << window.windowTitle().toStdString();
        EXPECT_EQ(window.windowTitle(), "Ruvello - (800x600) " + file);
        EXPECT_EQ(exportAction->isEnabled(), step.pair) << "row " << step.row;
        EXPECT_EQ(orientation->isEnabled(), step.orientable) << "row " << step.row;
        const QString date = window.exifTable()->topLevelItem(0)->text(2);
        EXPECT_EQ(date, step.row == 3 ? "no Exif data" : "2022:02:02 12:00:00")
            << "row " << step.row;
        xdotool.waitForFinished();
        QTest::qWait(150);
    }
}
