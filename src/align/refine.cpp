#include "alignsteps.h"

#include <opencv2/core/utility.hpp>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// Half the side of the compared patches, in work pixels.
constexpr int kRadius = 7;
constexpr int kSide = 2 * kRadius + 1;
constexpr int kArea = kSide * kSide;
// A point is kept when its patches correlate at least this well once aligned...
constexpr double kMinCorrelation = 0.8;
// ...when its patch has some texture in both directions (the smaller eigenvalue of the
// gradients' second moments, per pixel, of the brightness-normalised patch; soft,
// dim pictures of small cameras need a low bar)...
constexpr double kMinTexture = 0.005;
// ...and when refining moved it by less than this (work pixels) from where the match
// put it.
constexpr double kMaxMove = 4.0;
constexpr int kMaxIterations = 12;
constexpr double kConverged = 0.01;

// Bilinear sample at a work position; false outside the picture.
bool sample(const cv::Mat& image, double x, double y, double* value) {
    if (!(x >= 0.0 && y >= 0.0 && x <= image.cols - 1.0 && y <= image.rows - 1.0))
        return false;
    const int x0 = std::min(int(x), image.cols - 2), y0 = std::min(int(y), image.rows - 2);
    if (x0 < 0 || y0 < 0)
        return false;
    const double fx = x - x0, fy = y - y0;
    const uint8_t* r0 = image.ptr<uint8_t>(y0) + x0;
    const uint8_t* r1 = image.ptr<uint8_t>(y0 + 1) + x0;
    const double top = r0[0] + fx * (r0[1] - r0[0]);
    const double bottom = r1[0] + fx * (r1[1] - r1[0]);
    *value = top + fy * (bottom - top);
    return true;
}

// Subtracts the mean and divides by the standard deviation; returns the deviation, 0 for
// a patch too flat to compare.
double normalise(double* values, int count) {
    double sum = 0.0, squares = 0.0;
    for (int i = 0; i < count; ++i)
        sum += values[i];
    const double mean = sum / count;
    for (int i = 0; i < count; ++i) {
        values[i] -= mean;
        squares += values[i] * values[i];
    }
    const double deviation = std::sqrt(squares / count);
    if (!(deviation > 1.0))
        return 0.0;
    for (int i = 0; i < count; ++i)
        values[i] /= deviation;
    return deviation;
}

// The model in work positions: where in the right copy the point lies whose aligned
// place (with no horizontal shift) is (x, y), and the other way round.
struct SWorkWarp {
    double a, b, ia, ib;  // [a -b; b a] and its inverse (1 / s^2) [a b; -b a]
    double cx, cy, ty;
    void source(double x, double y, double* sx, double* sy) const {
        const double vx = x - cx, vy = y - cy - ty;
        *sx = cx + ia * vx + ib * vy;
        *sy = cy - ib * vx + ia * vy;
    }
    void place(double x, double y, double* px, double* py) const {
        const double ux = x - cx, uy = y - cy;
        *px = cx + a * ux - b * uy;
        *py = cy + b * ux + a * uy + ty;
    }
};

// Lucas-Kanade for a shift, inverse compositional: the left patch and its gradients stay
// fixed, the right copy is sampled through the warp at the current shift. Patches are
// compared with their brightness and contrast normalised, since the two cameras rarely
// expose alike.
std::optional<SPointPair> refinePair(const cv::Mat& leftWork, const cv::Mat& rightWork,
                                     double factor, const SWorkWarp& warp, const SPointPair& pair) {
    const double lx = pair.mLeftX / factor - 0.5, ly = pair.mLeftY / factor - 0.5;
    // The left patch one pixel larger all round, for its gradients.
    constexpr int kOuter = kSide + 2;
    double outer[kOuter * kOuter];
    for (int v = 0; v < kOuter; ++v)
        for (int u = 0; u < kOuter; ++u)
            if (!sample(leftWork, lx + u - kRadius - 1, ly + v - kRadius - 1,
                        &outer[v * kOuter + u]))
                return std::nullopt;
    double templ[kArea], gx[kArea], gy[kArea], moving[kArea];
    for (int v = 0; v < kSide; ++v)
        for (int u = 0; u < kSide; ++u)
            templ[v * kSide + u] = outer[(v + 1) * kOuter + u + 1];
    const double deviation = normalise(templ, kArea);
    if (deviation == 0.0)
        return std::nullopt;
    double hxx = 0.0, hxy = 0.0, hyy = 0.0;
    for (int v = 0; v < kSide; ++v)
        for (int u = 0; u < kSide; ++u) {
            const int o = (v + 1) * kOuter + u + 1;
            const double dx = (outer[o + 1] - outer[o - 1]) / (2 * deviation);
            const double dy = (outer[o + kOuter] - outer[o - kOuter]) / (2 * deviation);
            gx[v * kSide + u] = dx;
            gy[v * kSide + u] = dy;
            hxx += dx * dx, hxy += dx * dy, hyy += dy * dy;
        }
    const double det = hxx * hyy - hxy * hxy;
    const double smallest = (hxx + hyy) / 2 - std::sqrt((hxx - hyy) * (hxx - hyy) / 4 + hxy * hxy);
    if (!(det > 0.0) || !(smallest / kArea >= kMinTexture))
        return std::nullopt;

    // The shift from the left point to the right point's place in the warped copy.
    double startX, startY;
    warp.place(pair.mRightX / factor - 0.5, pair.mRightY / factor - 0.5, &startX, &startY);
    startX -= lx, startY -= ly;
    double du = startX, dv = startY, correlation = 0.0;
    for (int iteration = 0;; ++iteration) {
        if (iteration == kMaxIterations)
            return std::nullopt;
        // The warp is a similarity, so the patch's sample positions step evenly along its
        // rows and columns, and the patch lies inside the copy when its corners do (with
        // room for the rounding of the steps).
        double x0, y0, xu, yu, xv, yv;
        warp.source(lx - kRadius + du, ly - kRadius + dv, &x0, &y0);
        warp.source(lx - kRadius + du + 1, ly - kRadius + dv, &xu, &yu);
        warp.source(lx - kRadius + du, ly - kRadius + dv + 1, &xv, &yv);
        xu -= x0, yu -= y0, xv -= x0, yv -= y0;
        for (int corner = 0; corner < 4; ++corner) {
            const double cu = (corner & 1) * (kSide - 1), cv = (corner >> 1) * (kSide - 1);
            const double x = x0 + cu * xu + cv * xv, y = y0 + cu * yu + cv * yv;
            if (!(x >= 0.0 && y >= 0.0 && x < rightWork.cols - 1.001 && y < rightWork.rows - 1.001))
                return std::nullopt;
        }
        for (int v = 0; v < kSide; ++v) {
            double x = x0 + v * xv, y = y0 + v * yv;
            for (int u = 0; u < kSide; ++u, x += xu, y += yu) {
                const int xi = int(x), yi = int(y);
                const double fx = x - xi, fy = y - yi;
                const uint8_t* r0 = rightWork.ptr<uint8_t>(yi) + xi;
                const uint8_t* r1 = r0 + rightWork.step[0];
                const double top = r0[0] + fx * (r0[1] - r0[0]);
                const double bottom = r1[0] + fx * (r1[1] - r1[0]);
                moving[v * kSide + u] = top + fy * (bottom - top);
            }
        }
        if (normalise(moving, kArea) == 0.0)
            return std::nullopt;
        double bx = 0.0, by = 0.0;
        correlation = 0.0;
        for (int i = 0; i < kArea; ++i) {
            const double e = moving[i] - templ[i];
            bx += gx[i] * e, by += gy[i] * e;
            correlation += moving[i] * templ[i];
        }
        correlation /= kArea;
        const double stepX = (hyy * bx - hxy * by) / det;
        const double stepY = (hxx * by - hxy * bx) / det;
        du -= stepX, dv -= stepY;
        if (std::hypot(du - startX, dv - startY) > kMaxMove)
            return std::nullopt;
        if (std::hypot(stepX, stepY) < kConverged)
            break;
    }
    if (correlation < kMinCorrelation)
        return std::nullopt;
    double sx, sy;
    warp.source(lx + du, ly + dv, &sx, &sy);
    return SPointPair{pair.mLeftX, pair.mLeftY, factor * (sx + 0.5), factor * (sy + 0.5)};
}

}  // namespace

std::vector<SPointPair> refinePairs(const cv::Mat& leftWork, const cv::Mat& rightWork, int factor,
                                    const SStereoModel& model, double cx, double cy,
                                    const std::vector<SPointPair>& pairs) {
    const double f = factor;
    const double s2 = model.a * model.a + model.b * model.b;
    const SWorkWarp warp{model.a,      model.b,      model.a / s2, model.b / s2,
                         cx / f - 0.5, cy / f - 0.5, model.ty / f};
    std::vector<std::optional<SPointPair>> results(pairs.size());
    cv::parallel_for_(cv::Range(0, int(pairs.size())), [&](const cv::Range& range) {
        for (int i = range.start; i < range.end; ++i)
            results[size_t(i)] = refinePair(leftWork, rightWork, f, warp, pairs[size_t(i)]);
    });
    std::vector<SPointPair> refined;
    for (const std::optional<SPointPair>& result : results)
        if (result)
            refined.push_back(*result);
    return refined;
}
