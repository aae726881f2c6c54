// File ▸ Export Anaglyph of pictures whose pixels are not the size their Exif states, or
// that the view holds shrunk: the file the window writes is the one the converter writes
// of the same photo with the same shift, aligned at full size by itself. A large pair is
// exported in the background while the window pages on.
#include "CRuvello.h"
#include "GLWidget.h"
#include "corpus.h"
#include "mpowrite.h"
#include "pngio.h"
#include "screenframes.h"
#include "windowfixtures.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QProcess>
#include <QSettings>

#include <gmock/gmock.h>

#include <cmath>
#include <fstream>
#include <random>

namespace {

// A scene at twice the resolution of the views, so that the right view can show it off
// by a fraction of a pixel, as a second camera does.
class CScene {
public:
    CScene(int width, int height) : mWidth(2 * width), mHeight(2 * height) {
        mRgb.resize(size_t(mWidth) * size_t(mHeight) * 3);
        std::mt19937 random(11);
        for (int y = 0; y < mHeight; ++y)
            for (int x = 0; x < mWidth; ++x) {
                uint8_t* p = &mRgb[(size_t(y) * size_t(mWidth) + size_t(x)) * 3];
                p[0] = uint8_t(40 + x * 150 / mWidth);
                p[1] = uint8_t(60 + y * 120 / mHeight + int(random() % 13));
                p[2] = 90;
            }
        for (int n = 0; n < 900; ++n) {
            const int w = 8 + int(random() % 90), h = 8 + int(random() % 90);
            const int x0 = int(random() % unsigned(mWidth - w)),
                      y0 = int(random() % unsigned(mHeight - h));
            const uint8_t c[3] = {uint8_t(random()), uint8_t(random()), uint8_t(random())};
            for (int y = y0; y < y0 + h; ++y)
                for (int x = x0; x < x0 + w; ++x)
                    std::copy(c, c + 3, &mRgb[(size_t(y) * size_t(mWidth) + size_t(x)) * 3]);
        }
    }
    // width x height pixels of the scene from half-pixel position (hx, hy) on, each the
    // mean of 2 x 2 scene samples.
    std::vector<uint8_t> view(int hx, int hy, int width, int height) const {
        std::vector<uint8_t> out(size_t(width) * size_t(height) * 3);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c) {
                    int sum = 0;
                    for (int k = 0; k < 4; ++k)
                        sum += mRgb[(size_t(hy + 2 * y + k / 2) * size_t(mWidth) +
                                     size_t(hx + 2 * x + k % 2)) *
                                        3 +
                                    size_t(c)];
                    out[(size_t(y) * size_t(width) + size_t(x)) * 3 + size_t(c)] =
                        uint8_t((sum + 2) / 4);
                }
        return out;
    }

private:
    int mWidth, mHeight;
    std::vector<uint8_t> mRgb;
};

// Mean difference of the samples over the part both pictures show, placed on each other
// as fits best within a pixel either way: an alignment found on a shrunk copy may cut a
// pixel more or less at an edge than one found at full size. 255 when they differ more.
double meanDifference(const SImage& a, const SImage& b) {
    EXPECT_NEAR(a.mWidth, b.mWidth, 1);
    EXPECT_NEAR(a.mHeight, b.mHeight, 1);
    if (std::abs(a.mWidth - b.mWidth) > 1 || std::abs(a.mHeight - b.mHeight) > 1 || !a.mPixels ||
        !b.mPixels)
        return 255.0;
    double best = 255.0;
    for (int oy = -1; oy <= 1; ++oy)
        for (int ox = -1; ox <= 1; ++ox) {
            double sum = 0;
            size_t samples = 0;
            for (int y = std::max(0, -oy); y < std::min(a.mHeight, b.mHeight - oy); ++y) {
                const int x0 = std::max(0, -ox), x1 = std::min(a.mWidth, b.mWidth - ox);
                const uint8_t* p = a.mPixels + (size_t(y) * size_t(a.mWidth) + size_t(x0)) * 3;
                const uint8_t* q =
                    b.mPixels + (size_t(y + oy) * size_t(b.mWidth) + size_t(x0 + ox)) * 3;
                for (size_t i = 0; i < size_t(x1 - x0) * 3; ++i)
                    sum += std::abs(int(p[i]) - int(q[i]));
                samples += size_t(x1 - x0) * 3;
            }
            best = std::min(best, sum / double(std::max<size_t>(samples, 1)));
        }
    return best;
}

class ExportTest : public WindowTest {
protected:
    // The photo shown in stereo, aligned by the view (or refused), shifted by Shift+Right.
    void showShifted(const QString& file) {
        QSettings().setValue("view/autoAlign", true);
        open(file);
        action("actionStereo")->trigger();
        CRuvello& view = *window->glWidget()->application();
        ASSERT_TRUE(waitUntil(
            [&] {
                const SPictureEntry* e = view.currentEntry();
                return action("actionExport_Anaglyph")->isEnabled() && e && e->aligned &&
                       e->alignRequest == 0;
            },
            60000));
        QTest::keyClick(window->glWidget(), Qt::Key_Right, Qt::ShiftModifier);
        ASSERT_EQ(view.shift(), 10.0f);
    }
    // Ctrl+E, a typed name and Return, as a user does it; then what was written.
    SImageHandle exportAs(const QString& name) {
        const QString typed = folder + "/" + name;
        whenModal<QFileDialog>([typed](QFileDialog* dialog) {
            auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
            edit->setText(typed);
            QTest::keyClick(edit, Qt::Key_Return);
        });
        QTest::keySequence(window->glWidget(), QKeySequence("Ctrl+E"));
        EXPECT_TRUE(waitUntil([&] { return QFileInfo::exists(typed); }, 60000));
        return readPngFile(QFile::encodeName(typed).constData());
    }
    // The converter's aligned anaglyph of the photo with a shift in its own pixels.
    SImageHandle converted(const QString& photo, double shift, bool align = true) {
        const QString output = folder + "/converted.png";
        QProcess converter;
        converter.setWorkingDirectory(folder);
        QStringList arguments{"--shift", QString::number(shift, 'f', 6), "-o", output, photo};
        if (align)
            arguments.prepend("--align");
        converter.start(RUVELLO_ANAGLYPH, arguments);
        EXPECT_TRUE(converter.waitForFinished(120000));
        EXPECT_EQ(converter.exitCode(), 0) << converter.readAllStandardError().toStdString();
        return readPngFile(QFile::encodeName(output).constData());
    }
};

}  // namespace

TEST_F(ExportTest, APictureWiderThanTheTextureLimitIsExportedAsTheConverterAlignsIt) {
    // 6000 x 400 without any Exif size: the view holds it shrunk to its texture limit.
    // The right view shows the scene 30.5 px further right and 9.5 px higher.
    const int W = 6000, H = 400;
    const CScene scene(W + 80, H + 40);
    SJpegWrite quality;
    quality.mQuality = 97;
    const std::vector<uint8_t> left = scene.view(80, 40, W, H), right = scene.view(19, 59, W, H);
    temp.write("wide.mpo", buildMpoFile(encodeJpeg(left.data(), W, H, quality),
                                        encodeJpeg(right.data(), W, H, quality), 0.065));
    showShifted(folder + "/wide.mpo");
    const CRuvello& view = *window->glWidget()->application();
    ASSERT_LT(view.imageWidth(), W);
    ASSERT_TRUE(view.currentEntry()->alignment.mOk) << view.currentEntry()->alignment.mWhy;

    const SImageHandle exported = exportAs("exported.png");
    const SImageHandle wanted = converted(folder + "/wide.mpo", 10.0 * W / view.imageWidth());
    ASSERT_NE(wanted->mPixels, nullptr);
    EXPECT_NEAR(wanted->mWidth, W - 31, 1);  // aligned: the part both eyes see
    EXPECT_LE(meanDifference(*exported, *wanted), 2.0);
}

TEST_F(ExportTest, AResizedPhotoWhoseExifStatesTheCamerasSizeIsExportedAtItsOwn) {
    RUV_REQUIRE_CORPUS();
    // 64 x 64 pixels, while its Exif still says 5472 x 3648.
    std::ifstream in(corpusPath("mpo/pillow_ignore_frame_size.mpo"), std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty());
    temp.write("resized.mpo", bytes);
    showShifted(folder + "/resized.mpo");

    const SImageHandle exported = exportAs("exported.png");
    const SImageHandle wanted = converted(folder + "/resized.mpo", 10.0);
    ASSERT_NE(wanted->mPixels, nullptr);
    EXPECT_EQ(wanted->mWidth, 64);
    EXPECT_LE(meanDifference(*exported, *wanted), 2.0);
    // The photo's Exif comes along, with the size of the pixels.
    auto exiftool = [](const QString& file) {
        QProcess p;
        p.start("exiftool", {"-q", "-s", "-EXIF:DateTimeOriginal", "-EXIF:Model",
                             "-EXIF:ExposureTime", "-EXIF:ExifImageWidth", file});
        p.waitForFinished(60000);
        return p.readAllStandardOutput().toStdString();
    };
    EXPECT_EQ(exiftool(folder + "/exported.png"),
              "DateTimeOriginal                : 2020:08:09 14:21:05\n"
              "Model                           : NX1000\n"
              "ExposureTime                    : 1/25\n"
              "ExifImageWidth                  : 64\n");
}

TEST_F(ExportTest, ALargePairIsExportedInTheBackgroundWhileTheWindowPagesAndCancelLeavesNoFile) {
    // Seconds of decoding, composing and encoding: first in the list, the photos after it.
    const int W = 3000, H = 2000;
    const CScene scene(W + 40, H);
    const std::vector<uint8_t> left = scene.view(40, 0, W, H), right = scene.view(0, 0, W, H);
    temp.write("0-large.mpo", buildMpoFile(encodeJpeg(left.data(), W, H, {}),
                                           encodeJpeg(right.data(), W, H, {}), 0.065));
    QSettings().setValue("view/autoAlign", false);
    open(folder);
    action("actionStereo")->trigger();
    ASSERT_TRUE(waitUntil([&] { return action("actionExport_Anaglyph")->isEnabled(); }, 60000));
    auto exportTo = [&](const QString& name) {
        whenModal<QFileDialog>([typed = folder + "/" + name](QFileDialog* dialog) {
            auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
            edit->setText(typed);
            QTest::keyClick(edit, Qt::Key_Return);
        });
        QTest::keySequence(window->glWidget(), QKeySequence("Ctrl+E"));
    };
    auto running = [&] { return window->findChild<QWidget*>("exportProgress") != nullptr; };

    const QString exported = folder + "/exported.png";
    exportTo("exported.png");
    ASSERT_TRUE(running());
    // Page Down through the X server: the next photo shows while the export runs.
    pressKeys(*window, "Next");
    ASSERT_TRUE(waitUntil([&] { return window->windowTitle().endsWith(folder + "/a.jpg"); }));
    EXPECT_TRUE(running());
    EXPECT_FALSE(QFileInfo::exists(exported));
    ASSERT_TRUE(waitUntil([&] { return !running(); }, 120000));
    const SImageHandle written = readPngFile(QFile::encodeName(exported).constData());
    const SImageHandle wanted = converted(folder + "/0-large.mpo", 0.0, false);
    ASSERT_NE(written->mPixels, nullptr);
    ASSERT_NE(wanted->mPixels, nullptr);
    EXPECT_LE(meanDifference(*written, *wanted), 0.5);

    // Cancelled: no file, and no temporary file beside it.
    pressKeys(*window, "Prior");
    ASSERT_TRUE(waitUntil([&] { return action("actionExport_Anaglyph")->isEnabled(); }, 60000));
    const QStringList before = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden);
    exportTo("cancelled.png");
    ASSERT_TRUE(running());
    auto* cancel = window->findChild<QPushButton*>("exportCancel");
    ASSERT_NE(cancel, nullptr);
    clickAt(*cancel, cancel->rect());
    ASSERT_TRUE(waitUntil([&] { return !running(); }, 120000));
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden), before);
}
