// The 24 x 24 icons of the menu and tool bar actions.
//
// Coordinates are in pixels of the 24 x 24 canvas. One-pixel outlines sit on
// half-pixel positions (x.5) so that they cover exactly one pixel row or
// column instead of smearing over two.

#include "drawimages.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>

#include <array>
#include <cmath>

namespace drawimages {

namespace {

constexpr int kIconSize = 24;
const QColor kOutline(56, 60, 66);
const QColor kArrow(25, 118, 210);

QPen outlinePen(const QColor& colour = kOutline, qreal width = 1.0) {
    QPen pen(colour, width);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

// ---------------------------------------------------------------------------
// Shared parts

void drawArrowHead(QPainter& p, QPointF base, QPointF direction, qreal length, qreal halfWidth,
                   const QColor& colour) {
    const QPointF normal(-direction.y(), direction.x());
    const QPolygonF head{base + direction * length, base + normal * halfWidth,
                         base - normal * halfWidth};
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(head);
}

// An arc with an arrowhead at its end. Angles are screen degrees, growing
// clockwise from three o'clock, so the sign of the sweep is the turning sense.
void drawArcArrow(QPainter& p, QPointF centre, qreal radius, qreal fromDegrees, qreal toDegrees) {
    auto pointAt = [&](qreal degrees) {
        const qreal a = qDegreesToRadians(degrees);
        return centre + QPointF(std::cos(a), std::sin(a)) * radius;
    };
    QPainterPath arc(pointAt(fromDegrees));
    const int steps = 32;
    for (int i = 1; i <= steps; ++i)
        arc.lineTo(pointAt(fromDegrees + (toDegrees - fromDegrees) * i / steps));

    QPen pen(kArrow, 2);
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(arc);

    const qreal a = qDegreesToRadians(toDegrees);
    const qreal sense = toDegrees > fromDegrees ? 1 : -1;
    const QPointF tangent(-std::sin(a) * sense, std::cos(a) * sense);
    drawArrowHead(p, pointAt(toDegrees), tangent, 4, 3.5, kArrow);
}

// A wall calendar page; the date icons add a hint of where the date comes from.
void drawCalendar(QPainter& p) {
    const QRectF page(1.5, 3.5, 16, 15);
    p.setPen(outlinePen());
    p.setBrush(Qt::white);
    p.drawRect(page);
    p.setBrush(QColor(211, 47, 47));
    p.drawRect(QRectF(page.left(), page.top(), page.width(), 4));

    // Binder rings
    p.setPen(QPen(kOutline, 2, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(6, 1), QPointF(6, 5));
    p.drawLine(QPointF(13, 1), QPointF(13, 5));

    // Day cells, one of them marked as the date
    p.setPen(Qt::NoPen);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 4; ++column) {
            const bool marked = row == 1 && column == 1;
            p.setBrush(marked ? QColor(211, 47, 47) : QColor(150, 156, 164));
            p.drawRect(QRectF(4 + column * 3.5, 9 + row * 3, 2, 2));
        }
    }
}

// ---------------------------------------------------------------------------
// File actions

void drawOpenFolder(QPainter& p) {
    QPainterPath back;
    back.moveTo(2.5, 5.5);
    back.lineTo(9.5, 5.5);
    back.lineTo(11.5, 7.5);
    back.lineTo(19.5, 7.5);
    back.lineTo(19.5, 19.5);
    back.lineTo(2.5, 19.5);
    back.closeSubpath();
    p.setPen(outlinePen(QColor(138, 100, 20)));
    p.setBrush(QColor(216, 165, 48));
    p.drawPath(back);

    // The front flap leans forward: the folder is open.
    QPainterPath front;
    front.moveTo(6.5, 11.5);
    front.lineTo(22.5, 11.5);
    front.lineTo(19.5, 19.5);
    front.lineTo(2.5, 19.5);
    front.closeSubpath();
    p.setBrush(QColor(250, 206, 86));
    p.drawPath(front);
}

void drawSaveDisk(QPainter& p) {
    QPainterPath body;
    body.moveTo(3.5, 3.5);
    body.lineTo(18.5, 3.5);
    body.lineTo(20.5, 5.5);
    body.lineTo(20.5, 20.5);
    body.lineTo(3.5, 20.5);
    body.closeSubpath();
    p.setPen(outlinePen(QColor(26, 56, 104)));
    p.setBrush(QColor(48, 98, 172));
    p.drawPath(body);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(208, 214, 222));  // metal shutter
    p.drawRect(QRectF(7, 4, 9, 6));
    p.setBrush(QColor(48, 98, 172));
    p.drawRect(QRectF(12, 5, 2, 4));
    p.setBrush(Qt::white);  // label
    p.drawRect(QRectF(6, 13, 12, 7));
    p.setBrush(QColor(150, 160, 176));
    p.drawRect(QRectF(8, 15, 8, 1));
    p.drawRect(QRectF(8, 17, 6, 1));
}

// ---------------------------------------------------------------------------
// Where the capture date comes from

void drawExifDate(QPainter& p) {
    drawCalendar(p);
    // A camera: the date written by the camera into the photo.
    QPainterPath camera;
    camera.addRect(QRectF(14.5, 11.5, 4, 2));
    camera.addRoundedRect(QRectF(11.5, 13.5, 11, 8), 1.5, 1.5);
    p.setPen(QPen(Qt::white, 3));  // keeps the camera apart from the page behind it
    p.setBrush(Qt::NoBrush);
    p.drawPath(camera);
    p.setPen(outlinePen(QColor(30, 36, 40)));
    p.setBrush(QColor(84, 98, 108));
    p.drawRect(QRectF(14.5, 11.5, 4, 2));
    p.drawRoundedRect(QRectF(11.5, 13.5, 11, 8), 1.5, 1.5);
    p.setBrush(QColor(144, 202, 249));
    p.drawEllipse(QPointF(17, 17.5), 2.6, 2.6);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 213, 79));  // flash
    p.drawRect(QRectF(20, 15, 1.5, 1.5));
}

void drawFileSystemDate(QPainter& p) {
    drawCalendar(p);
    // A document with a folded corner: the date the file system keeps.
    QPainterPath sheet;
    sheet.moveTo(12.5, 9.5);
    sheet.lineTo(18.5, 9.5);
    sheet.lineTo(22.5, 13.5);
    sheet.lineTo(22.5, 22.5);
    sheet.lineTo(12.5, 22.5);
    sheet.closeSubpath();
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(sheet);
    p.setPen(outlinePen(QColor(40, 70, 120)));
    p.setBrush(QColor(227, 240, 253));
    p.drawPath(sheet);
    p.setBrush(QColor(180, 206, 236));
    p.drawPolygon(QPolygonF{QPointF(18.5, 9.5), QPointF(18.5, 13.5), QPointF(22.5, 13.5)});
    p.setPen(QPen(QColor(66, 110, 170), 1));
    for (qreal y : {15.5, 17.5, 19.5})
        p.drawLine(QPointF(14.5, y), QPointF(20.5, y));
}

void drawFileNameDate(QPainter& p) {
    drawCalendar(p);
    // A name tag: the date read out of the file name.
    QPainterPath tag;
    tag.moveTo(3.5, 17.5);
    tag.lineTo(6.5, 13.5);
    tag.lineTo(23.5, 13.5);
    tag.lineTo(23.5, 22.5);
    tag.lineTo(6.5, 22.5);
    tag.lineTo(3.5, 18.5);
    tag.closeSubpath();
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tag);
    p.setPen(outlinePen(QColor(130, 100, 0)));
    p.setBrush(QColor(255, 236, 130));
    p.drawPath(tag);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(130, 100, 0));
    p.drawEllipse(QPointF(6, 18), 1, 1);

    QFont font(QStringLiteral("DejaVu Sans Condensed"));
    font.setPixelSize(8);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(40, 40, 40));
    p.drawText(QRectF(7.5, 13.5, 16, 9), Qt::AlignCenter, QStringLiteral("abc"));
}

// ---------------------------------------------------------------------------
// Orientation

// A small landscape photo (sky, sun, hill) so its upright direction can be seen.
void drawLandscape(QPainter& p, const QRectF& frame) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(129, 212, 250));
    p.drawRect(frame);
    p.setClipRect(frame);
    p.setBrush(QColor(253, 216, 53));
    p.drawEllipse(QPointF(frame.right() - 3.5, frame.top() + 3.5), 2, 2);
    QPainterPath hill;
    hill.moveTo(frame.left(), frame.bottom());
    hill.lineTo(frame.left(), frame.bottom() - 4);
    hill.quadTo(frame.left() + frame.width() * 0.35, frame.bottom() - 9,
                frame.left() + frame.width() * 0.7, frame.bottom() - 4);
    hill.quadTo(frame.right() - 1, frame.bottom() - 2, frame.right(), frame.bottom() - 3);
    hill.lineTo(frame.right(), frame.bottom());
    hill.closeSubpath();
    p.setBrush(QColor(76, 175, 80));
    p.drawPath(hill);
    p.restore();
    p.setPen(outlinePen());
    p.setBrush(Qt::NoBrush);
    p.drawRect(frame);
}

// The photo turned by the given angle about the given centre.
void drawTurnedLandscape(QPainter& p, QPointF centre, qreal degrees) {
    p.save();
    p.translate(centre);
    p.rotate(degrees);  // positive is clockwise on screen
    drawLandscape(p, QRectF(-8, -5.5, 16, 11));
    p.restore();
}

void drawOrientationUpright(QPainter& p) {
    drawLandscape(p, QRectF(3.5, 11.5, 17, 11));
    p.setPen(QPen(kArrow, 2, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(12, 10), QPointF(12, 5));
    drawArrowHead(p, QPointF(12, 5.5), QPointF(0, -1), 4.5, 3.5, kArrow);
}

void drawOrientationClockwise(QPainter& p) {
    drawTurnedLandscape(p, QPointF(12, 14.5), 90);
    drawArcArrow(p, QPointF(12, 12), 10, -150, -35);
}

void drawOrientationCounterClockwise(QPainter& p) {
    drawTurnedLandscape(p, QPointF(12, 14.5), -90);
    drawArcArrow(p, QPointF(12, 12), 10, -30, -145);
}

// ---------------------------------------------------------------------------
// Anaglyph modes

void drawStereo(QPainter& p) {
    drawGlasses(p, QRectF(1, 5, 22, 14), QColor(40, 40, 44), 1.5, true);
}

// A person with a faint ghost image beside it, the ghost struck out.
void drawNoHalo(QPainter& p) {
    auto person = [&](QPointF head, const QColor& colour) {
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(head, 3.2, 3.2);
        QPainterPath body;
        body.moveTo(head.x() - 6, 21);
        body.cubicTo(head.x() - 6, head.y() + 6, head.x() + 6, head.y() + 6, head.x() + 6, 21);
        body.closeSubpath();
        p.drawPath(body);
    };
    person(QPointF(15.5, 6.5), QColor(120, 140, 170, 130));  // ghost
    person(QPointF(9, 6.5), QColor(52, 58, 64));

    QPen strike(QColor(211, 47, 47), 2.2);
    strike.setCapStyle(Qt::RoundCap);
    p.setPen(strike);
    p.drawLine(QPointF(14, 4), QPointF(22, 19));
}

// Four colour bands; the colour modes show them in grey, half or full colour.
const std::array<QColor, 4> kBandColours{QColor(229, 57, 53), QColor(253, 216, 53),
                                         QColor(67, 160, 71), QColor(30, 136, 229)};
// Twenty pixels inside the one-pixel frame, so each band is exactly five rows.
const QRectF kSwatch(2, 2, 20, 20);

void drawBands(QPainter& p, bool grey) {
    p.setPen(Qt::NoPen);
    const qreal bandHeight = kSwatch.height() / kBandColours.size();
    for (std::size_t i = 0; i < kBandColours.size(); ++i) {
        const QColor& colour = kBandColours[i];
        const int level = qGray(colour.rgb());
        p.setBrush(grey ? QColor(level, level, level) : colour);
        p.drawRect(
            QRectF(kSwatch.left(), kSwatch.top() + i * bandHeight, kSwatch.width(), bandHeight));
    }
}

void drawSwatchFrame(QPainter& p) {
    p.setPen(outlinePen());
    p.setBrush(Qt::NoBrush);
    p.drawRect(kSwatch.adjusted(-0.5, -0.5, 0.5, 0.5));
}

void drawGray(QPainter& p) {
    drawBands(p, true);
    // Grey picture seen through the two filters.
    const QRectF leftHalf(kSwatch.left(), kSwatch.top(), kSwatch.width() / 2, kSwatch.height());
    p.fillRect(leftHalf, QColor(lensRed.red(), lensRed.green(), lensRed.blue(), 80));
    p.fillRect(leftHalf.translated(kSwatch.width() / 2, 0),
               QColor(lensCyan.red(), lensCyan.green(), lensCyan.blue(), 80));
    drawSwatchFrame(p);
}

void drawHalfColor(QPainter& p) {
    drawBands(p, true);
    p.save();
    p.setClipPath([] {
        QPainterPath upperLeft;
        upperLeft.addPolygon(
            QPolygonF{kSwatch.topLeft(), kSwatch.topRight(), kSwatch.bottomLeft()});
        return upperLeft;
    }());
    drawBands(p, false);
    p.restore();
    drawSwatchFrame(p);
}

void drawFullColor(QPainter& p) {
    drawBands(p, false);
    drawSwatchFrame(p);
}

// ---------------------------------------------------------------------------
// Display options

// Enlarged pixels with a hard diagonal edge: what nearest-neighbour scaling does.
void drawNearest(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, false);
    const int cell = 4;
    const int origin = 2;
    for (int row = 0; row < 5; ++row) {
        for (int column = 0; column < 5; ++column) {
            const bool inside = row + column <= 4;
            const bool edge = row + column == 4;
            const QColor colour = edge     ? QColor(100, 150, 220)
                                  : inside ? QColor(40, 80, 160)
                                           : QColor(214, 228, 246);
            p.fillRect(QRect(origin + column * cell, origin + row * cell, cell, cell), colour);
        }
    }
    p.setPen(QColor(255, 255, 255, 150));
    for (int i = 1; i < 5; ++i) {
        p.drawLine(origin + i * cell, origin, origin + i * cell, origin + 5 * cell - 1);
        p.drawLine(origin, origin + i * cell, origin + 5 * cell - 1, origin + i * cell);
    }
    p.setPen(kOutline);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(origin - 1, origin - 1, 5 * cell + 1, 5 * cell + 1));
}

// A hue bar of which only the bracketed middle part stays bright.
void drawRestricted(QPainter& p) {
    const QRectF bar(1.5, 8.5, 21, 7);
    QLinearGradient hues(bar.left(), 0, bar.right(), 0);
    for (int i = 0; i <= 6; ++i)
        hues.setColorAt(i / 6.0, QColor::fromHsv((i % 6) * 60, 255, 255));
    p.setPen(outlinePen());
    p.setBrush(hues);
    p.drawRect(bar);

    const qreal from = 7;
    const qreal to = 17;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 170));
    p.drawRect(QRectF(bar.left() + 0.5, bar.top() + 0.5, from - bar.left() - 0.5, 6));
    p.drawRect(QRectF(to, bar.top() + 0.5, bar.right() - to - 0.5, 6));

    QPen bracketPen(QColor(30, 30, 30), 2);
    bracketPen.setJoinStyle(Qt::MiterJoin);
    bracketPen.setCapStyle(Qt::FlatCap);
    p.setPen(bracketPen);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF{QPointF(from + 2.5, 5), QPointF(from, 5), QPointF(from, 19),
                             QPointF(from + 2.5, 19)});
    p.drawPolyline(
        QPolygonF{QPointF(to - 2.5, 5), QPointF(to, 5), QPointF(to, 19), QPointF(to - 2.5, 19)});
}

void drawCalibrate(QPainter& p) {
    // Centred on a pixel centre so the one-pixel cross hair stays sharp.
    const QPointF centre(11.5, 11.5);
    const QColor red(211, 47, 47);
    p.setPen(outlinePen(red, 1.6));
    p.setBrush(Qt::white);
    p.drawEllipse(centre, 9.5, 9.5);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, 5.8, 5.8);
    p.setPen(Qt::NoPen);
    p.setBrush(red);
    p.drawEllipse(centre, 2.3, 2.3);

    p.setPen(QPen(kOutline, 1));
    p.drawLine(QPointF(centre.x(), 0), QPointF(centre.x(), 7));
    p.drawLine(QPointF(centre.x(), 16), QPointF(centre.x(), 23));
    p.drawLine(QPointF(0, centre.y()), QPointF(7, centre.y()));
    p.drawLine(QPointF(16, centre.y()), QPointF(23, centre.y()));
}

struct ActionIcon {
    const char* fileName;
    void (*draw)(QPainter&);
};

const ActionIcon kActionIcons[] = {
    {"fileopen.png", drawOpenFolder},
    {"filesave.png", drawSaveDisk},
    {"exifDate.png", drawExifDate},
    {"fsDate.png", drawFileSystemDate},
    {"filenameDate.png", drawFileNameDate},
    {"orientation1.png", drawOrientationUpright},
    {"orientation6.png", drawOrientationClockwise},
    {"orientation8.png", drawOrientationCounterClockwise},
    {"stereo.png", drawStereo},
    {"noHalo.png", drawNoHalo},
    {"gray.png", drawGray},
    {"halfColor.png", drawHalfColor},
    {"fullColor.png", drawFullColor},
    {"nearest.png", drawNearest},
    {"restricted.png", drawRestricted},
    {"calibrate.png", drawCalibrate},
};

}  // namespace

bool drawActionIcons(const QDir& imagesDir) {
    bool ok = true;
    for (const ActionIcon& icon : kActionIcons) {
        QImage image = transparentCanvas(kIconSize, kIconSize);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        icon.draw(p);
        p.end();
        ok = savePng(image, imagesDir, QString::fromLatin1(icon.fileName)) && ok;
    }
    return ok;
}

}  // namespace drawimages
