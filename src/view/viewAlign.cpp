#include "viewAlign.h"

#include <algorithm>

SViewQuad viewQuad(int orientation, float width, float height, const SStereoAlignment* alignment,
                   bool rightView, int storedWidth, int storedHeight) {
    const bool aligned = alignment && alignment->mOk && storedWidth > 0 && storedHeight > 0;
    // The displayed rectangle, in fractions of the picture: all of it, or what both see.
    float a0 = 0, a1 = 1, b0 = 0, b1 = 1;
    if (aligned) {
        const SAlignedOverlap o = alignedOverlap(*alignment, storedWidth, storedHeight);
        float as[2], bs[2];
        displayedPoint(orientation, float(o.x0 / storedWidth), float(o.y0 / storedHeight), as[0],
                       bs[0]);
        displayedPoint(orientation, float(o.x1 / storedWidth), float(o.y1 / storedHeight), as[1],
                       bs[1]);
        a0 = std::min(as[0], as[1]), a1 = std::max(as[0], as[1]);
        b0 = std::min(bs[0], bs[1]), b1 = std::max(bs[0], bs[1]);
    }
    SViewQuad quad;
    // Corners from the bottom left, with b counted from the top.
    const float corners[4][2] = {{a0, b1}, {a1, b1}, {a0, b0}, {a1, b0}};
    for (int i = 0; i < 4; ++i) {
        const float a = corners[i][0], b = corners[i][1];
        quad.x[i] = a * width;
        quad.y[i] = (1 - b) * height;
        float s, t;
        orientedTexCoord(orientation, a, b, s, t);
        if (aligned && rightView) {
            double x, y;
            alignedSource(*alignment, storedWidth, storedHeight, double(s) * storedWidth,
                          double(t) * storedHeight, &x, &y);
            s = float(x / storedWidth);
            t = float(y / storedHeight);
        }
        quad.s[i] = s;
        quad.t[i] = t;
    }
    return quad;
}
