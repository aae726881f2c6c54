#pragma once
// How the right picture of a stereo pair is brought onto the left one: a similarity
// (vertical offset, rotation and scale about the picture's centre) and a horizontal shift
// that puts the nearest object at the screen plane. Plain numbers, so that the view draws
// with them, the exporter warps with them and the aligner, the only part that knows how
// to find them, hands them over without its library.
//
// Coordinates are those of the left picture as stored in the file (before any Exif
// orientation; the aligner measures in the axes the picture is shown in and hands the
// result back in these), in pixels: x to the right, y downwards, (0, 0) the top left corner of the
// top left pixel; c = (width / 2, height / 2) is the centre. A point p of the right
// picture belongs at
//     q = c + mScale * R(mRotation) * (p - c) + (mDx, mDy)
// of the left picture, where R(a) = [cos a, -sin a; sin a, cos a] (with y downwards, a
// positive angle turns clockwise on the screen).
#include <string>

struct SStereoAlignment {
    bool mOk = false;
    std::string mWhy;  // when not mOk: why nothing is changed, in words
    double mDx = 0.0, mDy = 0.0;
    double mRotation = 0.0;  // radians
    double mScale = 1.0;
    int mMatches = 0;  // the matches the fit rests on (its inliers)
    // Horizontal disparity (x in the left picture minus x of the same point of the right
    // picture, after the alignment, along the horizontal of the picture as shown) of the
    // nearest and the farthest objects, in pixels; nearer objects have larger values.
    // The nearest counts whatever touches a side edge. The default depth choice puts the
    // nearest at 0.
    double mNear = 0.0, mFar = 0.0;
    bool mFromParallax = false;  // the horizontal shift came from the camera's parallax
    // The pictures it was measured on: their size as stored and the Exif orientation
    // (1 to 8) they are shown in, whose horizontal mNear and mFar are along.
    int mWidth = 0, mHeight = 0;
    int mOrientation = 1;
};

// The depth of an aligned pair as a stereo photographer plans it: the nearest and the
// farthest object's disparity in percent of the width of the picture as shown, positive
// behind the screen, and their difference. Eyes fuse about a thirtieth of the width
// without strain, and an object more than 1 % of the width in front of the screen is
// hard to look at; the flags say when the pair asks for more. All 0 without a size.
struct SDepthBudget {
    double mNear = 0.0, mFar = 0.0, mTotal = 0.0;
    bool mTooDeep = false, mTooNear = false;
};
SDepthBudget depthBudget(const SStereoAlignment& a);

// The Exif orientation's turn about the picture's centre: a vector (x, y) of the stored
// picture is (m[0] x + m[1] y, m[2] x + m[3] y) in the picture as shown. Values outside
// 1 to 8 count as 1.
void orientationMatrix(int orientation, int m[4]);

// The offset (mDx, mDy) along the horizontal and vertical of the picture as shown.
void displayedOffset(const SStereoAlignment& a, double* horizontal, double* vertical);

// Where point (x, y) of the right picture belongs in the left one.
void alignedPoint(const SStereoAlignment& a, double width, double height, double x, double y,
                  double* outX, double* outY);
// Where point (x, y) of the left picture is found in the right one (the inverse).
void alignedSource(const SStereoAlignment& a, double width, double height, double x, double y,
                   double* outX, double* outY);

// An axis-parallel rectangle, in left-picture pixels, that both pictures cover once the
// right one is aligned (as large as the rotation allows): what both eyes see, so that no
// edge floats. The whole picture when not mOk.
struct SAlignedOverlap {
    double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
};
SAlignedOverlap alignedOverlap(const SStereoAlignment& a, int width, int height);
