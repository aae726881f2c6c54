#pragma once
// The steps of the alignment, inside the module: reduced gray copies, features and their
// matches, the robust fit of the stereo model and the refinement of the matches.
//
// Positions are in pixels of the full picture with (0, 0) the top left corner of the top
// left pixel (as in stereoalignment.h) unless a name says "work": those are positions in
// the reduced copy with (0, 0) the centre of its top left pixel, as the feature library
// has them. A work pixel covers factor x factor picture pixels, so a work position w is
// the picture position factor * (w + 0.5).
#include "image.h"

#include <opencv2/core.hpp>
#include <opencv2/features2d.hpp>

#include <vector>

// The integer reduction that brings width x height nearest to workPixels (at least 1).
int workFactor(int width, int height, int workPixels);

// The picture in gray, each factor x factor block averaged into one pixel (the last
// incomplete row and column of blocks are left out; of blocks of 4 rows or more only the
// middle two or three rows are read). Channels 1, 3 or 4 of 8 bits.
cv::Mat reduceToGray(const SImage& image, int factor);

struct SFeatures {
    std::vector<cv::KeyPoint> mPoints;  // work positions
    cv::Mat mDescriptors;               // one 32-byte binary row per point
};

// ORB corners and descriptors, spread over the picture. reduced: gray is a reduced copy.
SFeatures detectFeatures(const cv::Mat& gray, bool reduced);

// A point seen in both pictures (picture positions).
struct SPointPair {
    double mLeftX, mLeftY, mRightX, mRightY;
};

// The stereo model: the right picture's point p, taken about the centre c, belongs at
//     y = cy + b * (px - cx) + a * (py - cy) + ty
// of the left picture, with a = scale * cos(rotation), b = scale * sin(rotation). Only
// the vertical coordinate is fitted: the horizontal one differs with each point's depth.
struct SStereoModel {
    double a = 1.0, b = 0.0, ty = 0.0;
    double scale() const;
    double rotation() const;  // radians
};

struct SStereoFit {
    SStereoModel mModel;
    std::vector<int> mInliers;  // indexes into the point pairs, ascending
    // Standard errors of scale and rotation (radians), from the inliers' scatter.
    double mScaleError = 0.0, mRotationError = 0.0;
};

// The vertical residual of a pair under the model (left y minus predicted y).
double verticalResidual(const SStereoModel& model, double cx, double cy, const SPointPair& pair);
// The horizontal disparity after the model (without any horizontal shift): left x minus
// the right point's aligned x.
double horizontalDisparity(const SStereoModel& model, double cx, double cy, const SPointPair& pair);

struct SMatch {
    int mLeft, mRight;  // indexes into the features
};

// Where a right point may lie for a left one, in work positions: at most mMaxDx to either
// side, and within mTolerance of the height the model gives (about the centre, with
// its offset in work pixels). mHalfWidth is half the work picture's width.
struct SMatchBand {
    SStereoModel mModel;
    double mCentreX = 0.0, mCentreY = 0.0, mHalfWidth = 0.0;
    double mTolerance = 0.0, mMaxDx = 0.0;
};

// Matches within the band: the nearest descriptor clearly nearer than the second nearest
// (ratio test), and the left point also the nearest for the right one (cross-check).
std::vector<SMatch> matchFeatures(const SFeatures& left, const SFeatures& right,
                                  const SMatchBand& band);

// The count strongest features (all of them when there are fewer).
SFeatures strongestFeatures(const SFeatures& features, size_t count);

// Least squares on the given pairs; false when they do not determine the model.
bool fitStereoModel(const std::vector<SPointPair>& pairs, const std::vector<int>& use, double cx,
                    double cy, SStereoFit* fit);

// Robust fit: random samples of three pairs (deterministic), the hypothesis with the
// best truncated squared residuals within threshold, then least squares on its inliers
// until they settle. Hypotheses with a scale outside [minScale, maxScale] or a rotation
// above maxRotation are not considered. False when no hypothesis has 3 inliers.
bool robustStereoFit(const std::vector<SPointPair>& pairs, double cx, double cy, double threshold,
                     double minScale, double maxScale, double maxRotation, SStereoFit* fit);

// The fit focused on the part of the picture that agrees within itself: weighted least
// squares with weights that vanish at two standard deviations of the scatter (taken anew
// each round, at least minSpread), from the given fit and from the model that puts half
// of the pairs closest, keeping the end with the smaller median residual. The inliers
// are the pairs the weights count. False when they do not determine the model.
bool focusStereoFit(const std::vector<SPointPair>& pairs, double cx, double cy, double minSpread,
                    SStereoFit* fit);

// Refines each pair's right point to a fraction of a work pixel: the patch around the
// left point is found in the right copy warped by the model (about the centre cx, cy of
// the picture), comparing brightness-normalised patches. Pairs that do not lock on well
// (flat or edge-only patches, a poor correlation, a large move) are dropped.
std::vector<SPointPair> refinePairs(const cv::Mat& leftWork, const cv::Mat& rightWork, int factor,
                                    const SStereoModel& model, double cx, double cy,
                                    const std::vector<SPointPair>& pairs);

// The value below which the given percentage of the values lie (linear between ranks).
double percentile(std::vector<double> values, double percent);
