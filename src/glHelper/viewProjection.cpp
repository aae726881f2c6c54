#include "viewProjection.h"

SProjection computeProjection(const SProjectionInput& in) {
    SProjection p;
    const int halfW = in.windowWidth / 2, halfH = in.windowHeight / 2;
    if (in.quadrants) {
        // Left eye in the bottom row, right eye in the top row.
        p.viewport[0] = in.firstColumn ? 0 : halfW;
        p.viewport[1] = in.leftEye ? 0 : halfH;
        p.viewport[2] = halfW;
        p.viewport[3] = halfH;
    } else {
        p.viewport[2] = in.viewWidth;
        p.viewport[3] = in.viewHeight;
    }
    p.distance = double(in.transl) / in.zoom / in.sceneScale;

    if (in.pixelMode) {
        p.ortho = true;
        p.zNear = -5000;
        p.zFar = 5000;
        if (in.quadrants) {
            const int panel = 320;
            p.left = in.firstColumn ? 0 : halfW - panel;
            p.right = in.firstColumn ? halfW : in.windowWidth - panel;
            p.top = halfH;
        } else {
            p.right = in.windowWidth;
            p.top = in.windowHeight;
        }
        return p;
    }

    const double sign = in.leftEye ? 1.0 : -1.0;
    const double eye = in.stereo ? sign * kHalfEyeDistance / in.scale : 0.0;
    const int width = in.quadrants ? halfW : in.viewWidth;
    const int height = in.quadrants ? halfH : in.viewHeight;
    const double gx = width / double(in.pixelsPerMeter) * 0.5 / in.scale;
    const double gy = height / double(in.pixelsPerMeter) * 0.5 / in.scale;
    p.zNear = p.distance * in.nearFactor;
    p.zFar = p.distance * in.farFactor;
    p.ortho = in.ortho;
    const double f = in.ortho ? 1.0 : double(in.nearFactor);
    p.left = (eye - gx) * f;
    p.right = (eye + gx) * f;
    p.bottom = -gy * f;
    p.top = gy * f;
    p.eyeOffset = in.stereo ? sign * kHalfEyeDistance / in.sceneScale : 0.0;
    return p;
}
