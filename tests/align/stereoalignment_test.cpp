// The plain maths of an alignment: where the right picture's points go, and the part
// of the picture both eyes see.
#include "stereoalignment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDegree = 3.14159265358979323846 / 180;

SStereoAlignment alignment(double dx, double dy, double degrees, double scale) {
    SStereoAlignment a;
    a.mOk = true;
    a.mDx = dx, a.mDy = dy, a.mRotation = degrees * kDegree, a.mScale = scale;
    return a;
}

bool inRightPicture(const SStereoAlignment& a, int w, int h, double x, double y) {
    double sx, sy;
    alignedSource(a, w, h, x, y, &sx, &sy);
    return sx >= -1e-6 && sy >= -1e-6 && sx <= w + 1e-6 && sy <= h + 1e-6;
}

// The largest rectangle in both pictures by brute force: for each pair of top and
// bottom edges on a grid, the widest span around the middle by bisection on each side.
double bruteForceArea(const SStereoAlignment& a, int w, int h) {
    double best = 0.0;
    const double mx = std::clamp(w / 2.0 + a.mDx / 2, 0.0, double(w));
    for (int i = 0; i <= 100; ++i)
        for (int j = i + 1; j <= 100; ++j) {
            const double y0 = h * i / 100.0, y1 = h * j / 100.0;
            auto fits = [&](double x0, double x1) {
                return inRightPicture(a, w, h, x0, y0) && inRightPicture(a, w, h, x1, y0) &&
                       inRightPicture(a, w, h, x0, y1) && inRightPicture(a, w, h, x1, y1);
            };
            if (!fits(mx, mx))
                continue;
            double in = mx, out = 0.0;
            for (int k = 0; k < 40; ++k)
                (fits((in + out) / 2, mx) ? in : out) = (in + out) / 2;
            const double x0 = in;
            in = mx, out = w;
            for (int k = 0; k < 40; ++k)
                (fits(x0, (in + out) / 2) ? in : out) = (in + out) / 2;
            best = std::max(best, (in - x0) * (y1 - y0));
        }
    return best;
}

}  // namespace

// With y downwards a positive angle turns a point right of the centre downwards
// (clockwise on the screen); alignedSource undoes alignedPoint.
TEST(StereoAlignment, PointsMoveAsTheHeaderSaysAndBack) {
    double x, y;
    alignedPoint(alignment(0, 0, 90, 1), 400, 300, 300, 150, &x, &y);
    EXPECT_NEAR(x, 200, 1e-9);
    EXPECT_NEAR(y, 250, 1e-9);
    alignedPoint(alignment(5, -7, 0, 2), 400, 300, 210, 160, &x, &y);
    EXPECT_NEAR(x, 225, 1e-9);
    EXPECT_NEAR(y, 163, 1e-9);
    for (const SStereoAlignment& a : {alignment(12.5, -8, 0.7, 1.01), alignment(-30, 4, -2, 0.97)})
        for (double px : {0.0, 123.4, 400.0})
            for (double py : {0.0, 77.7, 300.0}) {
                double qx, qy, bx, by;
                alignedPoint(a, 400, 300, px, py, &qx, &qy);
                alignedSource(a, 400, 300, qx, qy, &bx, &by);
                EXPECT_NEAR(bx, px, 1e-9);
                EXPECT_NEAR(by, py, 1e-9);
            }
}

// The overlap lies in both pictures, and no rectangle of noticeably more area does.
TEST(StereoAlignment, OverlapIsTheLargestRectangleInBothPictures) {
    struct SCase {
        double dx, dy, degrees, scale;
        int w, h;
    };
    const SCase cases[] = {
        {0, 0, 0, 1, 640, 480},        {30, -9.5, 0, 1, 640, 480},
        {0, 0, 0.8, 1, 3584, 2016},    {0, 0, -5, 1, 3000, 2000},
        {0, 0, 0, 0.97, 800, 600},     {0, 0, 0, 1.03, 800, 600},
        {-85, 6, 0.6, 0.99, 640, 480}, {40, -20, -1.5, 1.02, 3000, 2000},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.dx << ", " << c.dy << ", " << c.degrees << " deg, " << c.scale);
        const SStereoAlignment a = alignment(c.dx, c.dy, c.degrees, c.scale);
        const SAlignedOverlap o = alignedOverlap(a, c.w, c.h);
        ASSERT_LT(o.x0, o.x1);
        ASSERT_LT(o.y0, o.y1);
        for (double x : {o.x0, o.x1})
            for (double y : {o.y0, o.y1}) {
                EXPECT_TRUE(x >= 0 && x <= c.w && y >= 0 && y <= c.h) << x << ", " << y;
                EXPECT_TRUE(inRightPicture(a, c.w, c.h, x, y)) << x << ", " << y;
            }
        EXPECT_GE((o.x1 - o.x0) * (o.y1 - o.y0), 0.999 * bruteForceArea(a, c.w, c.h));
    }
    // Where the answer is plain: a shift leaves the strip both cover, a smaller right
    // picture its own outline.
    const SAlignedOverlap shifted = alignedOverlap(alignment(-60, 10, 0, 1), 640, 480);
    EXPECT_NEAR(shifted.x0, 0, 1e-6);
    EXPECT_NEAR(shifted.x1, 580, 1e-6);
    EXPECT_NEAR(shifted.y0, 10, 1e-6);
    EXPECT_NEAR(shifted.y1, 480, 1e-6);
    const SAlignedOverlap smaller = alignedOverlap(alignment(0, 0, 0, 0.9), 800, 600);
    EXPECT_NEAR(smaller.x0, 40, 1e-6);
    EXPECT_NEAR(smaller.y1, 570, 1e-6);
    // No alignment: the whole picture. Pictures that do not overlap: an empty rectangle
    // inside the picture, not a wild one.
    SStereoAlignment refused = alignment(50, 50, 3, 1.05);
    refused.mOk = false;
    const SAlignedOverlap whole = alignedOverlap(refused, 640, 480);
    EXPECT_TRUE(whole.x0 == 0 && whole.y0 == 0 && whole.x1 == 640 && whole.y1 == 480);
    const SAlignedOverlap apart = alignedOverlap(alignment(900, 0, 0, 1), 640, 480);
    EXPECT_EQ(apart.x0, apart.x1);
    EXPECT_TRUE(apart.x0 >= 0 && apart.x0 <= 640);
}

// A picture moved straight up, down or sideways: its best rectangle lies exactly on the
// edge of where the search may go, which it must not step past (the overlap would be
// empty and the view would show nothing).
TEST(StereoAlignment, PlainShiftsKeepExactlyWhatBothPicturesShow) {
    for (double dy = -20; dy <= 20; dy += 0.37)
        for (double dx = -40; dx <= 40; dx += 3.3) {
            SStereoAlignment a;
            a.mOk = true;
            a.mDx = dx;
            a.mDy = dy;
            const SAlignedOverlap o = alignedOverlap(a, 480, 360);
            ASSERT_NEAR(o.x0, std::max(0.0, dx), 1e-3) << dx << ", " << dy;
            ASSERT_NEAR(o.x1, std::min(480.0, 480 + dx), 1e-3) << dx << ", " << dy;
            ASSERT_NEAR(o.y0, std::max(0.0, dy), 1e-3) << dx << ", " << dy;
            ASSERT_NEAR(o.y1, std::min(360.0, 360 + dy), 1e-3) << dx << ", " << dy;
        }
}
