#pragma once
// What a stereo pair's residual disparities are, found without the aligner's own
// features: SIFT keypoints matched with a ratio test and a fundamental-matrix fit, each
// match then measured to a fraction of a pixel by normalised cross-correlation of
// full-size patches. (SIFT's own keypoint positions differ between the two views of a
// pair by up to a pixel or two near the edges of some lenses; the patches' correlation
// says where the picture content really moved.)
#include "image.h"

#include <vector>

struct SIndependentMatch {
    double mLeftX, mLeftY;
    double mDx, mDy;  // left position minus right position
};

std::vector<SIndependentMatch> independentMatches(const SImage& left, const SImage& right);

struct SResiduals {
    int mMatches = 0;
    double mMedianAbsDy = 0.0;
    // The horizontal disparity that only `percent` of the matches that agree vertically
    // (|dy| <= 1.5 px) exceed: the nearest object, as the aligner defines it.
    double mNearDx = 0.0;
    // The rotation left in the vertical disparities (degrees): the slope along x of a
    // least-squares plane dy = t + r x + s y through the matches, without those beyond
    // three median deviations of it.
    double mRotationDegrees = 0.0;
};

SResiduals residuals(const std::vector<SIndependentMatch>& matches, double percent = 5.0);
