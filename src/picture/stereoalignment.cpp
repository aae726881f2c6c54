#include "stereoalignment.h"

#include <algorithm>
#include <cmath>
#include <limits>

void alignedPoint(const SStereoAlignment& a, double width, double height, double x, double y,
                  double* outX, double* outY) {
    const double cx = width / 2, cy = height / 2;
    const double c = a.mScale * std::cos(a.mRotation), s = a.mScale * std::sin(a.mRotation);
    const double ux = x - cx, uy = y - cy;
    *outX = cx + c * ux - s * uy + a.mDx;
    *outY = cy + s * ux + c * uy + a.mDy;
}

void alignedSource(const SStereoAlignment& a, double width, double height, double x, double y,
                   double* outX, double* outY) {
    const double cx = width / 2, cy = height / 2;
    // The inverse of a similarity: turned back, scaled by the reciprocal.
    const double inverse = a.mScale != 0 ? 1 / a.mScale : 0;
    const double c = inverse * std::cos(a.mRotation), s = inverse * std::sin(a.mRotation);
    const double vx = x - cx - a.mDx, vy = y - cy - a.mDy;
    *outX = cx + c * vx + s * vy;
    *outY = cy - s * vx + c * vy;
}

void orientationMatrix(int orientation, int m[4]) {
    static const int kMatrices[8][4] = {
        {1, 0, 0, 1}, {-1, 0, 0, 1}, {-1, 0, 0, -1}, {1, 0, 0, -1},
        {0, 1, 1, 0}, {0, -1, 1, 0}, {0, -1, -1, 0}, {0, 1, -1, 0},
    };
    const int index = orientation >= 1 && orientation <= 8 ? orientation - 1 : 0;
    std::copy(kMatrices[index], kMatrices[index] + 4, m);
}

void displayedOffset(const SStereoAlignment& a, double* horizontal, double* vertical) {
    int m[4];
    orientationMatrix(a.mOrientation, m);
    *horizontal = m[0] * a.mDx + m[1] * a.mDy;
    *vertical = m[2] * a.mDx + m[3] * a.mDy;
}

SDepthBudget depthBudget(const SStereoAlignment& a) {
    SDepthBudget budget;
    int m[4];
    orientationMatrix(a.mOrientation, m);
    const int width = m[0] != 0 ? a.mWidth : a.mHeight;
    if (!a.mOk || width <= 0)
        return budget;
    // Nearer objects have the larger disparity; behind the screen counts positive.
    budget.mNear = -100.0 * a.mNear / width;
    budget.mFar = -100.0 * a.mFar / width;
    budget.mTotal = budget.mFar - budget.mNear;
    budget.mTooDeep = budget.mTotal > 100.0 / 30.0;
    budget.mTooNear = budget.mNear < -1.0;
    return budget;
}

namespace {

// The aligned right picture is the set of left-picture points whose source lies in the
// right picture: four half-planes, each a linear function of the point. A rectangle
// lies in such a convex set when its four corners do, and for each half-plane only the
// corner that is worst for it counts. With the vertical extent [y0, y1] fixed, every
// half-plane then bounds x0 from below or x1 from above (or [y0, y1] alone when it has
// no x part), so the widest rectangle of that extent follows directly.
struct SHalfPlane {
    double mX, mY, mC;  // mX * x + mY * y + mC >= 0 inside
};

struct SSpan {
    double x0, x1;
};

SSpan widest(const SHalfPlane (&planes)[4], double width, double y0, double y1) {
    SSpan span{0.0, width};
    for (const SHalfPlane& p : planes) {
        // The corner row that is worst for this half-plane.
        const double yPart = p.mY * (p.mY > 0 ? y0 : y1) + p.mC;
        if (p.mX > 0)
            span.x0 = std::max(span.x0, -yPart / p.mX);
        else if (p.mX < 0)
            span.x1 = std::min(span.x1, yPart / -p.mX);
        else if (yPart < 0)
            return SSpan{0.0, -1.0};
    }
    return span;
}

// log of the area of the widest rectangle over [y0, y1]; -infinity when there is none.
double logArea(const SHalfPlane (&planes)[4], double width, double y0, double y1) {
    const SSpan span = widest(planes, width, y0, y1);
    if (!(span.x1 > span.x0) || !(y1 > y0))
        return -std::numeric_limits<double>::infinity();
    return std::log(span.x1 - span.x0) + std::log(y1 - y0);
}

// Maximises a function that is concave where it is defined on [lo, hi] and -infinity
// elsewhere, defined near the end that `definedAtLo` names: golden-section search. The
// area of the best rectangle is log-concave in its sides, since the half-planes make a
// convex set.
// The best point it evaluated is returned, not the last bracket's middle: where the
// maximum lies on the edge of where the function is defined (a picture moved straight
// up or down has its best top edge exactly there), that middle may lie just past it.
template <typename F>
double argmaxConcave(double lo, double hi, bool definedAtLo, F f) {
    const double g = (std::sqrt(5.0) - 1) / 2;
    double a = hi - g * (hi - lo), b = lo + g * (hi - lo);
    double fa = f(a), fb = f(b);
    double best = fa >= fb ? a : b, fBest = std::max(fa, fb);
    auto note = [&](double x, double fx) {
        if (fx > fBest)
            best = x, fBest = fx;
    };
    for (int i = 0; i < 100 && hi - lo > 1e-7; ++i) {
        const bool neither = std::isinf(fa) && std::isinf(fb);
        if (neither ? !definedAtLo : fa <= fb) {
            lo = a;
            a = b, fa = fb;
            b = lo + g * (hi - lo), fb = f(b);
            note(b, fb);
        } else {
            hi = b;
            b = a, fb = fa;
            a = hi - g * (hi - lo), fa = f(a);
            note(a, fa);
        }
    }
    const double middle = (lo + hi) / 2;
    note(middle, f(middle));
    return best;
}

bool insideRight(const SHalfPlane (&planes)[4], double x, double y) {
    for (const SHalfPlane& p : planes)
        if (p.mX * x + p.mY * y + p.mC < 0)
            return false;
    return true;
}

}  // namespace

SAlignedOverlap alignedOverlap(const SStereoAlignment& a, int width, int height) {
    const double w = std::max(width, 0), h = std::max(height, 0);
    if (!a.mOk || !(a.mScale > 0) || !std::isfinite(a.mScale) || !std::isfinite(a.mRotation) ||
        !std::isfinite(a.mDx) || !std::isfinite(a.mDy))
        return SAlignedOverlap{0.0, 0.0, w, h};
    // The source point, (sx, sy) = centre + inverse * (q - centre - shift), written as
    // linear functions of q: the right picture is 0 <= sx <= w, 0 <= sy <= h.
    const double inverse = 1 / a.mScale;
    const double c = inverse * std::cos(a.mRotation), s = inverse * std::sin(a.mRotation);
    const double ox = w / 2 + a.mDx, oy = h / 2 + a.mDy;
    const double sx0 = w / 2 - c * ox - s * oy, sy0 = h / 2 + s * ox - c * oy;
    const SHalfPlane planes[4] = {
        {c, s, sx0},        // sx >= 0
        {-c, -s, w - sx0},  // sx <= w
        {-s, c, sy0},       // sy >= 0
        {s, -c, h - sy0},   // sy <= h
    };
    // A point inside both pictures splits the vertical search: the top edge lies above
    // it, the bottom edge below. The middle of the two pictures' common bounding box is
    // one for any alignment that keeps them overlapping by more than a sliver.
    const double mx = std::clamp(w / 2 + a.mDx / 2, 0.0, w),
                 my = std::clamp(h / 2 + a.mDy / 2, 0.0, h);
    if (!insideRight(planes, mx, my))
        return SAlignedOverlap{mx, my, mx, my};
    auto bestBottom = [&](double y0) {
        return argmaxConcave(my, h, true, [&](double yb) { return logArea(planes, w, y0, yb); });
    };
    const double y0 = argmaxConcave(
        0.0, my, false, [&](double yt) { return logArea(planes, w, yt, bestBottom(yt)); });
    const double y1 = bestBottom(y0);
    const SSpan span = widest(planes, w, y0, y1);
    if (!(span.x1 > span.x0) || !(y1 > y0))
        return SAlignedOverlap{mx, my, mx, my};
    return SAlignedOverlap{span.x0, y0, span.x1, y1};
}
