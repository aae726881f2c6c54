// The window where something cannot be read, and at its first start: a person pages
// with real key presses onto an empty file, a text file and a cut JPEG and reads the
// view, the status bar and the title; a start path that does not exist, a folder that
// may not be read, the first row of a folder in the list's order, the bundled samples
// and the window's size on the screen.
#include "CImageListModel.h"
#include "CImgWindow.h"
#include "CRuvello.h"
#include "GLWidget.h"
#include "jpegwrite.h"
#include "screentext.h"
#include "windowfixtures.h"

#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>

#include <gmock/gmock.h>

#include <sys/stat.h>
#include <unistd.h>

using testing::HasSubstr;
using testing::MatchesRegex;

namespace {

// Busy enough that half the file is about half the picture; red above, blue below.
std::vector<uint8_t> busyJpeg(int w, int h) {
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
            const uint8_t noise = uint8_t((x * 131 + y * 71 + (x * y) % 17) % 40);
            p[0] = uint8_t(y < h / 2 ? 200 + noise : noise);
            p[1] = noise;
            p[2] = uint8_t(y < h / 2 ? noise : 200 + noise);
        }
    SJpegWrite options;
    options.mQuality = 95;
    return encodeJpeg(rgb.data(), w, h, options);
}

class WindowErrors : public WindowTest {
protected:
    void press(const char* key) {
        QProcess xdotool;
        xdotool.start("xdotool", {"key", "--window", QString::number(window->winId()), key});
        ASSERT_TRUE(xdotool.waitForStarted());
        ASSERT_TRUE(waitUntil([&] { return xdotool.state() == QProcess::NotRunning; }));
        ASSERT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();
    }
    QString status() { return window->statusBar()->currentMessage(); }
    // The window's pixels as the X server has them, after a fresh frame.
    QImage screen() {
        GLWidget* view = window->glWidget();
        view->application()->endOverlay();
        QSignalSpy frames(view, &QOpenGLWidget::frameSwapped);
        view->update();
        EXPECT_TRUE(frames.wait(5000));
        QTest::qWait(50);
        return window->screen()->grabWindow(window->winId()).toImage();
    }
    QPoint inView(double fx, double fy) {
        GLWidget* view = window->glWidget();
        return view->mapTo(window.get(), QPoint(int(view->width() * fx), int(view->height() * fy)));
    }
    // Light pixels (text) in the note box at the view's top left.
    int lightPixelsInNoteBox(const QImage& image) {
        const QPoint origin = inView(0, 0);
        int light = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 300; ++x)
                light += qGray(image.pixel(origin + QPoint(x, y))) > 180;
        return light;
    }
};

}  // namespace

TEST_F(WindowErrors, PagingOntoFilesThatCannotBeReadShowsTheNameAndWhy) {
    CTempFolder pictures;
    pictures.write("a-photo.jpg", photo(64, 48, "2010:03:28 02:30:00", 1, "Alpha"));
    pictures.write("b-empty.jpg", {});
    pictures.write("c-notes.jpg", {'h', 'e', 'l', 'l', 'o', '\n'});
    std::vector<uint8_t> cut = busyJpeg(640, 480);
    cut.resize(cut.size() * 3 / 4);
    pictures.write("d-cut.jpg", cut);
    const QString dir = QString::fromStdString(pictures.path());
    open(dir);
    CRuvello* view = window->glWidget()->application();
    ASSERT_TRUE(waitUntil([&] { return window->windowTitle().endsWith("a-photo.jpg"); }));

    press("Next");
    const QString empty = dir + "/b-empty.jpg";
    ASSERT_TRUE(waitUntil([&] { return status().contains("b-empty.jpg"); }))
        << status().toStdString();
    EXPECT_EQ(status(), "b-empty.jpg: cannot read: the file is empty");
    EXPECT_EQ(window->windowTitle(), "Ruvello - " + empty);
    EXPECT_EQ(view->viewNotes(),
              (std::vector<std::string>{"b-empty.jpg", "cannot read: the file is empty"}));
    QImage shown = screen();
    EXPECT_GT(lightPixelsInNoteBox(shown), 50) << "no note over the view";
    EXPECT_LT(qGray(shown.pixel(inView(0.5, 0.6))), 30) << "the view is not dark";

    press("Next");
    ASSERT_TRUE(waitUntil([&] { return status().contains("c-notes.jpg"); }))
        << status().toStdString();
    EXPECT_EQ(status(), "c-notes.jpg: cannot read: not a JPEG, PNG or MPO file");
    EXPECT_EQ(window->windowTitle(), "Ruvello - " + dir + "/c-notes.jpg");
    // The note as a person reads it over the view.
    if (canReadScreen()) {
        const QString read = readOnScreen(screen(), QRect(inView(0, 0), QSize(420, 70)));
        EXPECT_TRUE(read.contains("not a jpeg")) << "OCR read: " << read.toStdString();
        EXPECT_TRUE(read.contains("c-notes.jpg")) << "OCR read: " << read.toStdString();
    } else {
        ADD_FAILURE() << "tesseract is missing: tools/install-deps.sh test installs it";
    }

    press("Next");
    ASSERT_TRUE(waitUntil([&] { return status().contains("d-cut.jpg"); }))
        << status().toStdString();
    EXPECT_THAT(status().toStdString(), MatchesRegex("d-cut\\.jpg: truncated after [0-9]+ %"));
    EXPECT_EQ(window->windowTitle(), "Ruvello - (640x480) " + dir + "/d-cut.jpg");
    ASSERT_EQ(view->viewNotes().size(), 2u);
    EXPECT_EQ(view->viewNotes()[0], "d-cut.jpg");
    // What was there shows (red at the top, blue below the middle); the rest is grey.
    shown = screen();
    // The 4:3 picture fits the view, centred: its rows at a quarter and at nine tenths.
    const QSize area = window->glWidget()->size();
    const double pictureHeight = std::min(double(area.height()), area.width() * 0.75);
    auto row = [&](double f) { return 0.5 + (f - 0.5) * pictureHeight / area.height(); };
    const QColor top = shown.pixelColor(inView(0.5, row(0.25)));
    const QColor bottom = shown.pixelColor(inView(0.5, row(0.9)));
    EXPECT_GT(top.red(), 150);
    EXPECT_LT(top.blue(), 80);
    EXPECT_NEAR(bottom.red(), 128, 12);
    EXPECT_NEAR(bottom.blue(), 128, 12);
    EXPECT_GT(lightPixelsInNoteBox(shown), 50);

    // Back to a good picture: no note, a title with its size.
    press("Prior");
    press("Prior");
    press("Prior");
    ASSERT_TRUE(waitUntil([&] { return window->windowTitle().endsWith("a-photo.jpg"); }));
    EXPECT_EQ(window->windowTitle(), "Ruvello - (64x48) " + dir + "/a-photo.jpg");
    EXPECT_TRUE(view->viewNotes().empty());
}

TEST_F(WindowErrors, AFolderOpensOnItsFirstRowInTheListsOrder) {
    open(folder);
    // The folder is read in the order of the names' bytes and the list sorts them as
    // text: a fullwidth letter (EF BC A1) comes first in bytes, a character beyond the
    // 16-bit range (F0 9F ...) first as text.
    CTempFolder other;
    other.write("\xEF\xBC\xA1.jpg", photo(64, 48, "2010:03:28 02:30:00", 1, "Alpha"));
    other.write("\xF0\x9F\x93\xB7.jpg", photo(48, 64, "2011:01:01 10:00:00", 6, "Beta"));
    window->pathEdit()->setText(QString::fromStdString(other.path()));
    emit window->pathEdit()->returnPressed();
    ASSERT_TRUE(waitUntil([&] { return model().rowCount() == 2 && currentRow() >= 0; }));
    EXPECT_EQ(currentRow(), 0);
    EXPECT_TRUE(fileOf(0).endsWith(QString::fromUtf8("/\xF0\x9F\x93\xB7.jpg")))
        << fileOf(0).toStdString();
}

// Sorted by date, the first row is the earliest photo, although its date is read in the
// background after the rows came in name order.
TEST_F(WindowErrors, SortedByDateAFolderOpensOnItsEarliestPhoto) {
    open(folder);
    window->listView()->sortByColumn(2, Qt::AscendingOrder);
    // Inside the test's own folder: in the shared temporary folder, others' folders come
    // and go while the folder tree is read.
    ASSERT_TRUE(QDir(folder).mkdir("dated"));
    for (int i = 0; i < 200; ++i)
        temp.write("dated/a" + std::to_string(1000 + i) + ".jpg",
                   photo(16, 12, "2015:01:01 10:00:00", 1, "Alpha"));
    temp.write("dated/z.jpg", photo(16, 12, "2001:01:01 10:00:00", 1, "Zeta"));
    window->pathEdit()->setText(folder + "/dated");
    emit window->pathEdit()->returnPressed();
    ASSERT_TRUE(waitUntil([&] {
        return model().rowCount() == 201 && !model().isFilling() && currentRow() >= 0 &&
               fileOf(0).endsWith("/z.jpg");
    })) << fileOf(0).toStdString();
    QTest::qWait(100);
    EXPECT_EQ(currentRow(), 0);
}

TEST_F(WindowErrors, TheBundledSamplesStartWithAStereoPicture) {
    open(RUVELLO_SAMPLES_DIR);
    ASSERT_GT(model().rowCount(), 1);
    EXPECT_EQ(currentRow(), 0);
    EXPECT_TRUE(fileOf(0).endsWith(".mpo")) << fileOf(0).toStdString();
    CRuvello* view = window->glWidget()->application();
    ASSERT_TRUE(waitUntil([&] {
        return view->pictureComplete() && view->currentEntry() && view->currentEntry()->identified;
    }));
    EXPECT_EQ(view->currentEntry()->kind.mKind, EPictureKind::Mpo);
}

TEST_F(WindowErrors, AStartPathThatDoesNotExistSaysSoAndOpensTheNearestFolder) {
    const QString missing = folder + "/gone/deeper/x.jpg";
    window = std::make_unique<CImgWindow>(missing);
    window->show();
    QMessageBox* box = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        box = window->findChild<QMessageBox*>("missingStartPath");
        return box && box->isVisible();
    }));
    EXPECT_THAT(box->text().toStdString(), HasSubstr(missing.toStdString()));
    EXPECT_THAT(box->text().toStdString(), HasSubstr("does not exist"));
    EXPECT_EQ(model().dirPath(), folder);
    EXPECT_EQ(model().rowCount(), 3);
    box->button(QMessageBox::Ok)->click();
}

TEST_F(WindowErrors, AFolderThatMayNotBeReadSaysSoInTheStatusBar) {
    open(folder);
    const QString locked = folder + "/locked";
    ASSERT_EQ(::mkdir(QFile::encodeName(locked).constData(), 0), 0);
    window->pathEdit()->setText(locked);
    // The superuser reads every folder: it is asked for as nobody.
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chmod(temp.path().c_str(), 0755), 0);
        ASSERT_EQ(::seteuid(65534), 0);
    }
    emit window->pathEdit()->returnPressed();
    if (root) {
        ASSERT_EQ(::seteuid(0), 0);
    }
    EXPECT_EQ(status(), "Cannot read the folder " + locked + ": Permission denied");
    EXPECT_EQ(model().rowCount(), 0);
}

TEST_F(WindowErrors, TheFirstStartUsesMostOfTheScreenAndALaterOneTheSavedSize) {
    QSettings().remove("window");
    auto first = std::make_unique<CImgWindow>(folder);
    const QRect area = first->screen()->availableGeometry();
    EXPECT_NEAR(first->width(), area.width() * 0.8, 2);
    EXPECT_NEAR(first->height(), area.height() * 0.8, 2);
    EXPECT_NEAR(first->geometry().center().x(), area.center().x(), 2);
    EXPECT_NEAR(first->geometry().center().y(), area.center().y(), 2);
    first->resize(700, 500);
    first->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(first.get()));
    first->close();  // saves the geometry
    first.reset();
    auto again = std::make_unique<CImgWindow>(folder);
    EXPECT_EQ(again->size(), QSize(700, 500));
    again.reset();
    QSettings().remove("window");
}
