// Pictures whose pixels matter more than their looks: the calibration face
// and the sample test card.

#include "drawimages.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>

#include <iterator>

namespace drawimages {

namespace {

// ---------------------------------------------------------------------------
// Calibration face

constexpr int kFaceSize = 512;
constexpr int kHalf = kFaceSize / 2;
constexpr uchar kDark = 100;
constexpr uchar kLight = 150;

bool insideEllipse(qreal x, qreal y, qreal cx, qreal cy, qreal rx, qreal ry) {
    const qreal dx = (x - cx) / rx;
    const qreal dy = (y - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
}

// The left-half face, decided per pixel centre. The user judges the mean
// brightness of this picture against a coloured patch, so it must hold only
// the two grey levels: antialiased edges would add other values.
uchar leftFaceValue(int px, int py) {
    const qreal x = px + 0.5;
    const qreal y = py + 0.5;
    const qreal cx = kHalf / 2.0;

    if (!insideEllipse(x, y, cx, 256, 104, 150))
        return kDark;  // background
    const bool eye =
        insideEllipse(x, y, cx - 42, 206, 17, 24) || insideEllipse(x, y, cx + 42, 206, 17, 24);
    // A smile: the crescent between two equal ellipses, one shifted down.
    const bool mouth =
        y > 308 && insideEllipse(x, y, cx, 300, 58, 48) && !insideEllipse(x, y, cx, 284, 58, 48);
    return (eye || mouth) ? kDark : kLight;
}

// The right half is the negative of the left one, so both grey levels cover
// exactly half of the picture and its mean is their midpoint.
QImage calibrationFace() {
    QImage image(kFaceSize, kFaceSize, QImage::Format_Grayscale8);
    for (int y = 0; y < kFaceSize; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < kHalf; ++x) {
            const uchar value = leftFaceValue(x, y);
            line[x] = value;
            line[x + kHalf] = uchar(kDark + kLight - value);
        }
    }
    return image;
}

// ---------------------------------------------------------------------------
// Test card

constexpr int kCardWidth = 1200;
constexpr int kCardHeight = 800;

void drawColourBars(QPainter& p, int top, int height) {
    const QColor bars[] = {Qt::white,   Qt::yellow, Qt::cyan, Qt::green,
                           Qt::magenta, Qt::red,    Qt::blue};
    const int count = int(std::size(bars));
    for (int i = 0; i < count; ++i) {
        const int left = i * kCardWidth / count;
        const int right = (i + 1) * kCardWidth / count;
        p.fillRect(QRect(left, top, right - left, height), bars[i]);
    }
}

// Filled per pixel so every grey level from 0 to 255 appears exactly.
void drawGreyRamp(QImage& image, int top, int height) {
    for (int y = top; y < top + height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kCardWidth; ++x) {
            const int grey = x * 255 / (kCardWidth - 1);
            line[x] = qRgb(grey, grey, grey);
        }
    }
}

void drawGreySteps(QPainter& p, int top, int height) {
    const int steps = 11;
    for (int i = 0; i < steps; ++i) {
        const int left = i * kCardWidth / steps;
        const int right = (i + 1) * kCardWidth / steps;
        const int grey = i * 255 / (steps - 1);
        p.fillRect(QRect(left, top, right - left, height), QColor(grey, grey, grey));
    }
}

void drawHueRamp(QPainter& p, int top, int height) {
    QLinearGradient hues(0, 0, kCardWidth, 0);
    const int stops = 6;
    for (int i = 0; i <= stops; ++i)
        hues.setColorAt(qreal(i) / stops, QColor::fromHsv((i % stops) * 60, 255, 255));
    p.fillRect(QRect(0, top, kCardWidth, height), hues);
}

void drawCardLabels(QPainter& p, int top) {
    QFont nameFont(QStringLiteral("DejaVu Sans"));
    nameFont.setPixelSize(72);
    nameFont.setBold(true);
    p.setFont(nameFont);
    const QString name = QStringLiteral("Ruvello");
    const qreal x = (kCardWidth - QFontMetricsF(nameFont).horizontalAdvance(name)) / 2;
    // A red and a cyan copy side by side hint at what the viewer is for.
    p.setPen(lensRed);
    p.drawText(QPointF(x - 4, top + 84), name);
    p.setCompositionMode(QPainter::CompositionMode_Plus);
    p.setPen(lensCyan);
    p.drawText(QPointF(x + 4, top + 84), name);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);

    QFont noteFont(QStringLiteral("DejaVu Sans"));
    noteFont.setPixelSize(22);
    p.setFont(noteFont);
    p.setPen(QColor(200, 200, 200));
    const QString note = QStringLiteral("test card");
    p.drawText(
        QPointF((kCardWidth - QFontMetricsF(noteFont).horizontalAdvance(note)) / 2, top + 124),
        note);
}

// A large circle with a centre cross shows at a glance whether the picture
// is stretched or cut off.
void drawGeometryCircle(QPainter& p) {
    const QPointF centre(kCardWidth / 2.0, kCardHeight / 2.0);
    const qreal radius = kCardHeight / 2.0 - 24;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::black, 8));
    p.drawEllipse(centre, radius, radius);
    p.setPen(QPen(Qt::white, 4));
    p.drawEllipse(centre, radius, radius);
    p.setPen(QPen(Qt::black, 2));
    p.drawLine(centre - QPointF(30, 0), centre + QPointF(30, 0));
    p.drawLine(centre - QPointF(0, 30), centre + QPointF(0, 30));
}

QImage testCard() {
    QImage image(kCardWidth, kCardHeight, QImage::Format_RGB32);
    image.fill(QColor(16, 16, 20));
    drawGreyRamp(image, 340, 120);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawColourBars(p, 0, 340);
    drawGreySteps(p, 460, 80);
    drawHueRamp(p, 540, 80);
    drawCardLabels(p, 620);
    drawGeometryCircle(p);
    p.end();
    return image;
}

}  // namespace

bool drawCalibrationFace(const QDir& imagesDir) {
    return savePng(calibrationFace(), imagesDir, QStringLiteral("dface.png"));
}

bool drawTestCard(const QDir& samplesDir) {
    return savePng(testCard(), samplesDir, QStringLiteral("ruvello-test-card.png"));
}

}  // namespace drawimages
