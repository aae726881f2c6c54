#include "viewFit.h"

#include <algorithm>
#include <cmath>

void fitZoom(SViewState& v, const SViewArea& a) {
    if (v.zoom >= 1.0f || a.imageWidth <= 0 || a.imageHeight <= 0)
        return;
    const float d = std::min(a.viewWidth / v.zoom / float(a.imageWidth),
                             a.viewHeight / v.zoom / float(a.imageHeight));
    if (d > 1.0f)
        v.zoom = std::min(v.zoom * d, 1.0f);
}

namespace {
float clampAxis(float pos, float window, float picture) {
    if (window >= picture)
        return picture / 2.0f - window / 2.0f;
    if (pos < 0.0f)
        return 0.0f;
    if (pos + window > picture)
        return picture - window;
    return pos;
}
}  // namespace

void clampPan(SViewState& v, const SViewArea& a) {
    v.posX = clampAxis(v.posX, a.viewWidth / v.zoom, float(a.imageWidth));
    v.posY = clampAxis(v.posY, a.viewHeight / v.zoom, float(a.imageHeight));
    if (v.zoom == 1.0f) {
        v.posX = std::floor(v.posX);
        v.posY = std::floor(v.posY);
    }
}

void fitToWindow(SViewState& v, const SViewArea& a) {
    v.zoom = 0.01f;
    fitZoom(v, a);
    clampPan(v, a);
}

void zoomAbout(SViewState& v, float newZoom, float x, float y) {
    const float px = v.posX + x / v.zoom, py = v.posY + y / v.zoom;
    v.zoom = newZoom;
    v.posX = px - x / v.zoom;
    v.posY = py - y / v.zoom;
}

float boundedZoom(float zoom) {
    if (!(zoom >= kMinZoom))  // NaN too
        return kMinZoom;
    return zoom > kMaxZoom ? kMaxZoom : zoom;
}
