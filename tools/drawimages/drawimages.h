// Shared pieces of the picture generator: colours, canvas and file helpers,
// and the drawing routines that more than one picture family uses.
#pragma once

#include <QColor>
#include <QDir>
#include <QImage>
#include <QRectF>
#include <QString>

class QPainter;

namespace drawimages {

// The filter colours of the viewing glasses. Every picture uses the same pair
// so that the splash, the application icon and the action icons belong together.
inline const QColor lensRed{214, 32, 44};
inline const QColor lensCyan{0, 184, 212};

// A fully transparent canvas; premultiplied because that is what QPainter
// draws on fastest, the PNG writer converts it on saving.
QImage transparentCanvas(int width, int height);

// Writes a PNG and reports failures on stderr. Nothing but the pixels is
// written (no text chunks), so repeated runs give identical files.
bool savePng(const QImage& image, const QDir& dir, const QString& fileName);

// Red/cyan glasses seen from the front, fitted into box. With whole-pixel
// boxes and a whole-pixel frame width the lens outlines stay sharp, which
// matters for the 16 px icon.
void drawGlasses(QPainter& p, const QRectF& box, const QColor& frame, qreal frameWidth,
                 bool withTemples);

// One function per picture family; each returns false if a file could not be written.
bool drawSplash(const QDir& imagesDir);
bool drawAppIcons(const QDir& imagesDir);
bool drawActionIcons(const QDir& imagesDir);
bool drawCalibrationFace(const QDir& imagesDir);
bool drawTestCard(const QDir& samplesDir);

}  // namespace drawimages
