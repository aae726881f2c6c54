#pragma once
// Automatic alignment of a stereo pair: finds how the right picture is brought onto the
// left one (vertical offset, rotation, scale) and the horizontal shift that puts the
// chosen depth at the screen plane, and warps the right picture accordingly. The only
// part of the program that knows the feature library; what it hands out is plain.
#include "imagehandle.h"
#include "stereoalignment.h"

#include <cmath>

// Which depth ends up at the screen plane (horizontal disparity 0).
enum class EDepthChoice {
    NearestAtScreen,  // everything else behind the screen: no object cut by the frame floats
    MedianAtScreen,   // half in front, half behind
    NoHorizontal,     // the horizontal shift is left alone (mDx is 0)
};

struct SAlignOptions {
    EDepthChoice mDepth = EDepthChoice::NearestAtScreen;
    // "Nearest" is the disparity that only this percentage of the matched points exceed,
    // so that a few wrong matches do not decide; mFar is the same from the far end.
    double mNearPercentile = 5.0;
    // Pixels of the reduced gray copies the features are found on (each side an integer
    // fraction of the picture's, so that a copy's pixel is a whole block of the
    // picture's). The matches are then refined to a fraction of a pixel, so this decides
    // speed and robustness rather than accuracy: a camera's pair of 7 to 12 megapixels
    // is reduced by 4 or 5 on each side, which keeps the alignment well under half the
    // time of decoding the two pictures and its pairs as close vertically as a finer copy.
    int mWorkPixels = 560000;
    // The camera's own horizontal shift for the pair (pixels of these pictures along the
    // horizontal of the picture as shown, added to the right picture's x as the shift
    // is), used when the pictures give too few matches; NaN: none.
    double mParallaxPixels = NAN;
    // The pictures' Exif orientation (1 to 8): they are aligned as they are shown, where
    // the eyes are side by side.
    int mOrientation = 1;
};

// left and right: 8-bit pictures of 1, 3 or 4 channels as the picture input decodes them (top row
// first), each the picture as stored (not turned by its Exif orientation, which
// options.mOrientation gives), of the same size. The result says how the right picture is brought
// onto the left one (see stereoalignment.h); when the pictures cannot be aligned, mOk is false,
// mWhy says why and the rest is neutral. Pictures that belong together but give too few matches get
// mDx from mParallaxPixels when it is given (mFromParallax, the rest neutral). Never
// throws; runs on any thread, with the feature library's own worker threads besides.
SStereoAlignment alignStereoPair(const SImage& left, const SImage& right,
                                 const SAlignOptions& options = SAlignOptions());

// The view's and the exporter's default alignment of a pair as it is shown: the nearest
// object at the screen, orientation the pair's Exif orientation, parallaxPixels the
// camera's shift along the shown width (NaN: none).
SStereoAlignment alignStereoPairAsShown(const SImage& left, const SImage& right,
                                        double parallaxPixels, int orientation);

// The right picture warped onto a grid of width x height pixels (bilinear, black outside
// the right picture, opaque where it has alpha), with the right picture's channels: for
// the left picture's grid, what is combined with the left picture. The alignment is read
// about the centre of that grid (width / 2, height / 2), which is the left picture's for
// its own size. A neutral alignment (mOk false) warps with no change. The failure
// record's handle when right has no pixels or the size is not positive.
SImageHandle warpRightPicture(const SImage& right, const SStereoAlignment& alignment, int width,
                              int height);
