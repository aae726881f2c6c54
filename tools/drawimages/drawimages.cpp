// Ruvello picture generator: redraws the splash screen, the application and
// action icons, the calibration face and the sample test card.
//
//   ruvello-drawimages <project folder>
//
// writes into <project folder>/images and <project folder>/samples.
// The pictures are drawn from code rather than kept as hand-edited files so
// that a change of colours or sizes is a one-line edit and the output is
// reproducible byte for byte.

#include "drawimages.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>

#include <cmath>
#include <cstdio>
#include <functional>

namespace drawimages {

QImage transparentCanvas(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

bool savePng(const QImage& image, const QDir& dir, const QString& fileName) {
    const QString path = dir.filePath(fileName);
    QImageWriter writer(path, "png");
    if (!writer.write(image)) {
        std::fprintf(stderr, "ruvello-drawimages: cannot write %s: %s\n", qPrintable(path),
                     qPrintable(writer.errorString()));
        return false;
    }
    return true;
}

void drawGlasses(QPainter& p, const QRectF& box, const QColor& frame, qreal frameWidth,
                 bool withTemples) {
    // Whole-pixel lens widths keep both lenses the same size after rounding.
    const qreal lensWidth = std::floor(box.width() * 0.43);
    const qreal bridgeWidth = box.width() - 2 * lensWidth;
    const qreal lensHeight = withTemples ? std::round(box.height() * 0.78) : box.height();
    const qreal lensTop = box.bottom() - lensHeight;
    const qreal inset = frameWidth / 2;  // keeps the stroke inside the lens box
    const QRectF left =
        QRectF(box.left(), lensTop, lensWidth, lensHeight).adjusted(inset, inset, -inset, -inset);
    const QRectF right = QRectF(box.right() - lensWidth, lensTop, lensWidth, lensHeight)
                             .adjusted(inset, inset, -inset, -inset);
    const qreal radius = lensHeight * 0.28;

    p.save();
    QPen pen(frame, frameWidth);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);

    if (withTemples) {
        // The arms run back from the outer corners; drawn first so the lenses cover their roots.
        p.setPen(pen);
        p.drawLine(QPointF(left.left() + radius * 0.5, lensTop + inset),
                   QPointF(left.left() + lensWidth * 0.3, box.top() + inset));
        p.drawLine(QPointF(right.right() - radius * 0.5, lensTop + inset),
                   QPointF(right.right() - lensWidth * 0.3, box.top() + inset));
    }

    p.setPen(pen);
    p.setBrush(lensRed);
    p.drawRoundedRect(left, radius, radius);
    p.setBrush(lensCyan);
    p.drawRoundedRect(right, radius, radius);

    // The bridge arches over the nose, so it starts below the top of the lenses.
    QPainterPath bridge;
    const qreal bridgeY = lensTop + lensHeight * 0.35;
    bridge.moveTo(left.right(), bridgeY);
    bridge.quadTo(box.center().x(), bridgeY - std::max(frameWidth * 2, bridgeWidth * 0.6),
                  right.left(), bridgeY);
    p.setBrush(Qt::NoBrush);
    p.drawPath(bridge);
    p.restore();
}

namespace {

// ---------------------------------------------------------------------------
// Splash screen

constexpr int kSplashWidth = 640;
constexpr int kSplashHeight = 488;

QPainterPath splashOutline() {
    QPainterPath outline;
    outline.addRoundedRect(QRectF(8, 8, kSplashWidth - 16, kSplashHeight - 16), 44, 44);
    return outline;
}

// Draws a shape once for each eye, shifted apart by the disparity. Additive
// blending turns the overlap white, the way it looks without glasses.
void drawAnaglyph(QPainter& p, qreal disparity,
                  const std::function<void(QPainter&, const QColor&)>& shape) {
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Plus);
    p.translate(-disparity / 2, 0);
    shape(p, lensRed);
    p.translate(disparity, 0);
    shape(p, lensCyan);
    p.restore();
}

// A floor grid seen in perspective, projected once for each eye. Near lines
// get crossed disparity and far ones uncrossed, so through glasses the floor
// runs from in front of the screen to behind it.
struct FloorCamera {
    qreal focal = 300;
    qreal centreX = kSplashWidth / 2.0;
    qreal horizonY = 376;
    qreal height = 0.5;
    qreal eyeDistance = 0.08;
    qreal screenDepth = 6;  // depth that shows without disparity

    QPointF project(qreal x, qreal z, int eye) const  // eye: -1 left, +1 right
    {
        const qreal shift = eye * eyeDistance / 2;
        return {centreX + focal * ((x - shift) / z + shift / screenDepth),
                horizonY + focal * height / z};
    }
};

void drawStereoFloor(QPainter& p) {
    const FloorCamera camera;
    const qreal nearZ = 1.5;
    const qreal farZ = 17;
    // Distant lines are dimmed, as if fading into haze; with additive
    // blending a lower alpha simply means a darker line.
    auto floorLine = [&](qreal x1, qreal z1, qreal x2, qreal z2, qreal strength) {
        QColor red = lensRed;
        QColor cyan = lensCyan;
        red.setAlphaF(strength);
        cyan.setAlphaF(strength);
        p.setPen(QPen(red, 1.6));
        p.drawLine(camera.project(x1, z1, -1), camera.project(x2, z2, -1));
        p.setPen(QPen(cyan, 1.6));
        p.drawLine(camera.project(x1, z1, +1), camera.project(x2, z2, +1));
    };

    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Plus);
    for (qreal z : {1.5, 2.0, 2.7, 3.7, 5.2, 7.5, 11.0, 17.0})
        floorLine(-12, z, 12, z, std::min(1.0, 0.25 + 1.5 / z));
    for (int x = -12; x <= 12; ++x)
        floorLine(x, nearZ, x, farZ, 0.8);
    p.restore();
}

void drawCentredText(QPainter& p, const QFont& font, const QColor& colour, qreal baseline,
                     const QString& text) {
    const QFontMetricsF metrics(font);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(QPointF((kSplashWidth - metrics.horizontalAdvance(text)) / 2, baseline), text);
}

void drawSplashTitle(QPainter& p) {
    QFont titleFont(QStringLiteral("DejaVu Sans"));
    titleFont.setPixelSize(104);
    titleFont.setBold(true);
    const QString title = QStringLiteral("Ruvello");
    const qreal baseline = 252;
    const qreal width = QFontMetricsF(titleFont).horizontalAdvance(title);

    QPainterPath titlePath;
    titlePath.addText(QPointF((kSplashWidth - width) / 2, baseline), titleFont, title);
    drawAnaglyph(p, 10, [&](QPainter& painter, const QColor& colour) {
        painter.fillPath(titlePath, colour);
    });

    QFont subtitleFont(QStringLiteral("DejaVu Sans"));
    subtitleFont.setPixelSize(27);
    subtitleFont.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    drawCentredText(p, subtitleFont, QColor(206, 212, 226), 304,
                    QStringLiteral("stereo photo viewer"));
}

// The splash window is masked by the alpha channel, which is 1-bit there:
// every pixel is made either fully opaque or fully transparent so the
// antialiased rim does not turn into a dark fringe.
void hardenAlpha(QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = line[x];
            line[x] = qAlpha(pixel) >= 128 ? (pixel | 0xff000000u) : qRgba(0, 0, 0, 0);
        }
    }
}

QImage splashImage() {
    QImage image = transparentCanvas(kSplashWidth, kSplashHeight);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    const QPainterPath outline = splashOutline();
    QLinearGradient background(0, 8, 0, kSplashHeight - 8);
    background.setColorAt(0, QColor(36, 43, 62));
    background.setColorAt(1, QColor(12, 14, 22));
    p.fillPath(outline, background);
    p.setClipPath(outline);

    drawGlasses(p, QRectF(236, 44, 168, 72), QColor(236, 238, 244), 6, true);
    drawSplashTitle(p);

    p.save();
    p.setClipRect(QRectF(0, FloorCamera().horizonY, kSplashWidth, kSplashHeight),
                  Qt::IntersectClip);
    drawStereoFloor(p);
    p.restore();

    // Thin inner rim so the card has an edge on light desktops too.
    p.setPen(QPen(QColor(92, 104, 138), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(12, 12, kSplashWidth - 24, kSplashHeight - 24), 40, 40);

    QFont versionFont(QStringLiteral("DejaVu Sans"));
    versionFont.setPixelSize(13);
    p.setFont(versionFont);
    p.setPen(QColor(150, 160, 184));
    const QString version = QStringLiteral("1.1.1");
    p.drawText(
        QPointF(kSplashWidth - 44 - QFontMetricsF(versionFont).horizontalAdvance(version), 48),
        version);
    p.end();

    image = image.convertToFormat(QImage::Format_ARGB32);
    hardenAlpha(image);
    return image;
}

// ---------------------------------------------------------------------------
// Application icon

// Drawn anew for each size instead of scaled, with sizes rounded to whole
// pixels, so that the small icons stay sharp.
QImage appIcon(int size) {
    QImage image = transparentCanvas(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    const qreal radius = size * 0.2;
    QLinearGradient tile(0, 0, 0, size);
    tile.setColorAt(0, QColor(72, 92, 136));
    tile.setColorAt(1, QColor(28, 36, 56));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(0, 0, size, size), radius, radius);

    const int margin = std::max(1, qRound(size * 0.07));
    const int top = qRound(size * (size < 32 ? 0.3 : 0.22));
    const int bottom = qRound(size * 0.74);
    const qreal frameWidth = std::max(1, qRound(size / 20.0));
    drawGlasses(p, QRectF(margin, top, size - 2 * margin, bottom - top), QColor(240, 242, 248),
                frameWidth, size >= 32);
    return image;
}

}  // namespace

bool drawSplash(const QDir& imagesDir) {
    return savePng(splashImage(), imagesDir, QStringLiteral("splash.png"));
}

bool drawAppIcons(const QDir& imagesDir) {
    bool ok = savePng(appIcon(16), imagesDir, QStringLiteral("icon.png"));
    // 128 and 256 for desktops that show large icons (the hicolor theme's sizes).
    for (int size : {32, 48, 64, 128, 256})
        ok = savePng(appIcon(size), imagesDir, QStringLiteral("icon-%1.png").arg(size)) && ok;
    return ok;
}

}  // namespace drawimages

int main(int argc, char* argv[]) {
    // Runs during builds, where there is usually no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: ruvello-drawimages <project folder>\n");
        return 2;
    }
    QDir root(args.at(1));
    if (!root.exists()) {
        std::fprintf(stderr, "ruvello-drawimages: no such folder: %s\n", qPrintable(args.at(1)));
        return 2;
    }
    if (!root.mkpath(QStringLiteral("images")) || !root.mkpath(QStringLiteral("samples"))) {
        std::fprintf(stderr, "ruvello-drawimages: cannot create images/ or samples/ in %s\n",
                     qPrintable(args.at(1)));
        return 1;
    }
    const QDir images(root.filePath(QStringLiteral("images")));
    const QDir samples(root.filePath(QStringLiteral("samples")));

    using namespace drawimages;
    bool ok = drawSplash(images);
    ok = drawAppIcons(images) && ok;
    ok = drawActionIcons(images) && ok;
    ok = drawCalibrationFace(images) && ok;
    ok = drawTestCard(samples) && ok;
    return ok ? 0 : 1;
}
