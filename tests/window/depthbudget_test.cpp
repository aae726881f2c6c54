// The depth of an aligned stereo pair as the status bar and the Exif panel tell it: a
// rendered pair with a far and a near half, whose depth is known, and a copy whose Exif
// states another size than the pictures have.
#include "CImgWindow.h"
#include "exifwrite.h"
#include "mpowrite.h"
#include "windowfixtures.h"

#include <QRegularExpression>
#include <QSettings>
#include <QStatusBar>
#include <QTreeWidget>

#include <random>

namespace {

constexpr int W = 640, H = 480;
// The scene is this much wider than the pictures, on each side.
constexpr int kMargin = 70;

// A stereo MPO of the scene: the right picture's content 9 px higher; the upper half
// with a disparity (left x minus right x) of far px, the lower half of near px.
// exifWidth: the width the left picture's Exif states.
std::vector<uint8_t> depthPair(int far, int near, int exifWidth) {
    const int stride = W + 2 * kMargin;
    const std::vector<uint8_t> big = matchableScene(stride, H + 2 * kMargin, 11, 500, 50);
    std::vector<uint8_t> left, right;
    for (int y = 0; y < H; ++y) {
        const int d = y < H / 2 ? far : near;
        auto row = [&](int x0, int y0) {
            return big.begin() + (size_t(y0) * stride + size_t(x0)) * 3;
        };
        left.insert(left.end(), row(kMargin, kMargin + y), row(kMargin + W, kMargin + y));
        right.insert(right.end(), row(kMargin + d, kMargin + 9 + y),
                     row(kMargin + d + W, kMargin + 9 + y));
    }
    SExifWrite exif;
    exif.mPixelWidth = exifWidth;
    exif.mPixelHeight = exifWidth * H / W;
    SJpegWrite quality;
    quality.mQuality = 97;
    SJpegWrite first = quality;
    first.mApp1 = buildExifPayload(exif);
    return buildMpoFile(encodeJpeg(left.data(), W, H, first),
                        encodeJpeg(right.data(), W, H, quality), 0.065);
}

// The numbers of "near N %, far N %, total N % of the width".
bool readDepth(const QString& text, double* near, double* far, double* total) {
    const QRegularExpressionMatch m =
        QRegularExpression(
            "near (-?[0-9.]+) %, far (-?[0-9.]+) %, total (-?[0-9.]+) % of the width")
            .match(text);
    if (!m.hasMatch())
        return false;
    *near = m.captured(1).toDouble(), *far = m.captured(2).toDouble();
    *total = m.captured(3).toDouble();
    return true;
}

}  // namespace

// 51 px between the far and the near half of a 640-pixel picture: 8 % of the width, more
// than the thirtieth that eyes fuse without strain. The Exif says the photo is twice as
// wide as its pictures; the vertical offset is told in the pictures' own pixels all the
// same.
TEST_F(WindowTest, TheStatusBarAndTheExifPanelTellTheDepthOfAnAlignedPair) {
    temp.write("deep.mpo", depthPair(5, 56, 2 * W));
    temp.write("shallow.mpo", depthPair(5, 20, W));
    QSettings().setValue("view/autoAlign", true);
    open(folder + "/deep.mpo");
    action("actionStereo")->trigger();
    QStatusBar* status = window->statusBar();
    // A sanitizer build on a busy machine may take a while to decode and align.
    ASSERT_TRUE(waitUntil([&] { return status->currentMessage().startsWith("aligned:"); }, 60000))
        << status->currentMessage().toStdString();
    const QString text = status->currentMessage();
    SCOPED_TRACE(text.toStdString());
    EXPECT_TRUE(text.startsWith("aligned: vertical 9.0 px, rotation 0.00°, depth near 0.0 %"));
    double near = 0, far = 0, total = 0;
    ASSERT_TRUE(readDepth(text, &near, &far, &total));
    EXPECT_NEAR(far, 51.0 / W * 100, 0.15);  // behind the screen: positive
    EXPECT_NEAR(total, 51.0 / W * 100, 0.15);
    EXPECT_TRUE(text.endsWith("; more depth than is comfortable to view (3.3 %)"));

    // The Exif panel has the same depth in a row of its own.
    const QList<QTreeWidgetItem*> rows =
        window->exifTable()->findItems("Depth", Qt::MatchExactly, 1);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_TRUE(text.contains(rows[0]->text(2))) << rows[0]->text(2).toStdString();

    // A pair within the budget: no warning.
    window->listView()->setCurrentIndex(model().index(rowOf("shallow.mpo"), 0));
    ASSERT_TRUE(waitUntil(
        [&] {
            return status->currentMessage().startsWith("aligned:") &&
                   status->currentMessage() != text;
        },
        60000))
        << status->currentMessage().toStdString() << " (row " << currentRow() << ")";
    const QString within = status->currentMessage();
    ASSERT_TRUE(readDepth(within, &near, &far, &total)) << within.toStdString();
    EXPECT_NEAR(total, 15.0 / W * 100, 0.15) << within.toStdString();
    EXPECT_FALSE(within.contains("comfortable")) << within.toStdString();
}
