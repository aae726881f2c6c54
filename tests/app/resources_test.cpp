// The compiled-in pictures and shader texts: present, at their sizes, and the face
// picture as the calibration needs it.
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

namespace {
QImage load(const char* path) {
    QImage image(path);
    EXPECT_FALSE(image.isNull()) << path;
    return image;
}
}  // namespace

TEST(Resources, PicturesHaveTheirSizes) {
    EXPECT_EQ(load(":/images/splash.png").size(), QSize(640, 488));
    EXPECT_EQ(load(":/images/icon.png").size(), QSize(16, 16));
    EXPECT_EQ(load(":/images/icon-32.png").size(), QSize(32, 32));
    EXPECT_EQ(load(":/images/icon-48.png").size(), QSize(48, 48));
    EXPECT_EQ(load(":/images/icon-64.png").size(), QSize(64, 64));
    for (const char* name :
         {"fileopen", "filesave", "exifDate", "fsDate", "filenameDate", "orientation1",
          "orientation6", "orientation8", "stereo", "noHalo", "gray", "halfColor", "fullColor",
          "nearest", "restricted", "calibrate"}) {
        const QString path = QString(":/images/%1.png").arg(name);
        EXPECT_EQ(load(path.toLatin1().constData()).size(), QSize(24, 24)) << name;
    }
}

TEST(Resources, SplashIsCutOutWhereItIsTransparent) {
    const QImage splash = load(":/images/splash.png").convertToFormat(QImage::Format_ARGB32);
    ASSERT_TRUE(splash.hasAlphaChannel());
    int transparent = 0, opaque = 0;
    for (int y = 0; y < splash.height(); ++y)
        for (int x = 0; x < splash.width(); ++x) {
            const int a = qAlpha(splash.pixel(x, y));
            transparent += a == 0;
            opaque += a == 255;
        }
    EXPECT_GT(transparent, 1000);
    EXPECT_GT(opaque, splash.width() * splash.height() / 2);
}

TEST(Resources, FacePictureHasTwoLevelsInMirroredHalves) {
    const QImage face = load(":/images/dface.png");
    ASSERT_EQ(face.size(), QSize(512, 512));
    ASSERT_EQ(face.format(), QImage::Format_Grayscale8);
    long bright = 0;
    for (int y = 0; y < 512; ++y) {
        const uchar* row = face.constScanLine(y);
        for (int x = 0; x < 512; ++x) {
            ASSERT_TRUE(row[x] == 100 || row[x] == 150) << x << "," << y << ": " << int(row[x]);
            bright += row[x] == 150;
            if (x < 256) {
                ASSERT_EQ(row[x] + row[x + 256], 250) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(bright, 512 * 512 / 2);
    // A face, not a blank half: the left half has both levels.
    long leftBright = 0;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 256; ++x)
            leftBright += face.constScanLine(y)[x] == 150;
    EXPECT_GT(leftBright, 256 * 512 / 8);
    EXPECT_LT(leftBright, 256 * 512 * 7 / 8);
}

TEST(Resources, ShaderTextsAreCompiledIn) {
    for (const char* path :
         {":/shaders/stereo.vs", ":/shaders/stereo.fs", ":/shaders/gray.vs", ":/shaders/gray.fs"}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path;
        EXPECT_TRUE(file.readAll().contains("void main()")) << path;
    }
}
