#include "align.h"

#include "alignsteps.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <functional>
#include <climits>
#include <cmath>
#include <cstdio>
#include <new>
#include <string>

namespace {

// Fewer matches than this do not pin a rotation and a scale down reliably, and a pair
// with nothing in common reaches a handful by chance.
constexpr int kMinMatches = 16;
// Pictures smaller than this on a side have no room for the compared patches.
constexpr int kMinSide = 48;
// Reduced copies smaller than this lose the detail the features are found in.
constexpr int kMinWorkPixels = 50000;
// The first model rests on this many of the strongest features of each picture...
constexpr size_t kCoarseFeatures = 500;
// ...then all features are matched within this many work pixels of where it puts them.
constexpr double kGuidedTolerance = 4.0;
// More refined matches than this add time but no accuracy.
constexpr size_t kMaxRefined = 500;
// Fewer refined matches than this are fitted robustly, not focused (see fineModel).
constexpr size_t kMinFocused = 100;
// The scatter of refined matches is taken to be at least this (pixels).
constexpr double kMinSpread = 0.05;
// A refined match tells its depth when the model puts it within this many pixels (or a
// work pixel, when that is more) of its place.
constexpr double kMinDepthThreshold = 1.5;
// What a real pair of one camera can need; more means the pictures do not belong
// together, or the matches are wrong.
constexpr double kMinScale = 0.9, kMaxScale = 1.1;
constexpr double kMaxRotationDegrees = 5.0;
// How firmly the matches must pin rotation and scale down: one standard error of them
// may move the picture's corners by at most this (pixels). Matches that cluster in a
// small part of the picture say little about the rest.
constexpr double kMaxCornerError = 1.0;

// Objects cut by a side edge are looked for in a band this share of the width wide along
// each side edge; the second nearest match of a band counts there, so that a single wrong
// match cannot decide.
constexpr double kEdgeBand = 0.08;

constexpr double kRadians = 3.14159265358979323846 / 180.0;
// The fits look a little beyond the limits, so that a pair just outside them is refused
// for what it is rather than for too few matches.
constexpr double kSearchMinScale = kMinScale - 0.1, kSearchMaxScale = kMaxScale + 0.1;
constexpr double kSearchMaxRotation = 2 * kMaxRotationDegrees * kRadians;

SStereoAlignment refusal(const std::string& why) {
    SStereoAlignment result;
    result.mWhy = why;
    return result;
}

// Too few matches: the camera's parallax when it gave one, else a refusal.
SStereoAlignment tooFewMatches(const std::string& why, int matches, const SAlignOptions& options) {
    if (!std::isfinite(options.mParallaxPixels))
        return refusal(why);
    SStereoAlignment result;
    result.mOk = true;
    result.mDx = options.mParallaxPixels;
    result.mMatches = matches;
    result.mFromParallax = true;
    return result;
}

std::string pictureProblem(const SImage& image, const char* name) {
    if (!image.mPixels || image.mWidth <= 0 || image.mHeight <= 0)
        return std::string("the ") + name + " picture is empty";
    if (image.mBitDepth != 8 ||
        (image.mChannels != 1 && image.mChannels != 3 && image.mChannels != 4))
        return std::string("the ") + name + " picture is not 8-bit gray, RGB or RGBA";
    return "";
}

std::string pairProblem(const SImage& left, const SImage& right) {
    for (const std::string& problem :
         {pictureProblem(left, "left"), pictureProblem(right, "right")})
        if (!problem.empty())
            return problem;
    const std::string size = std::to_string(left.mWidth) + " x " + std::to_string(left.mHeight);
    if (left.mWidth != right.mWidth || left.mHeight != right.mHeight)
        return "the pictures differ in size (" + size + " and " + std::to_string(right.mWidth) +
               " x " + std::to_string(right.mHeight) + ")";
    if (std::min(left.mWidth, left.mHeight) < kMinSide)
        return "the pictures are too small to align (" + size + ")";
    return "";
}

std::string matchCount(const char* what, size_t count) {
    return std::string(what) + " (" + std::to_string(count) + ")";
}

// The reduced copy turned by the Exif orientation into the axes it is shown in.
cv::Mat shownAxes(const cv::Mat& stored, int orientation) {
    cv::Mat shown;
    switch (orientation) {
        case 2:
            cv::flip(stored, shown, 1);
            return shown;
        case 3:
            cv::rotate(stored, shown, cv::ROTATE_180);
            return shown;
        case 4:
            cv::flip(stored, shown, 0);
            return shown;
        case 5:
            cv::transpose(stored, shown);
            return shown;
        case 6:
            cv::rotate(stored, shown, cv::ROTATE_90_CLOCKWISE);
            return shown;
        case 7:
            cv::transpose(stored, shown);
            cv::rotate(shown, shown, cv::ROTATE_180);
            return shown;
        case 8:
            cv::rotate(stored, shown, cv::ROTATE_90_COUNTERCLOCKWISE);
            return shown;
        default:
            return stored;
    }
}

// The pictures' features and everything found from them, in positions of the picture as
// shown: the reduced copies are turned by the Exif orientation, for in a pair stored
// turned the depth runs along the stored vertical and would read as rotation. The
// positions are those of the part of the picture the copies cover (whole blocks), whose
// centre lies up to a block from the picture's; the result is taken back to the stored
// picture and its centre at the end.
class CAligner {
public:
    CAligner(const SImage& left, const SImage& right, const SAlignOptions& options)
        : mOptions(options),
          mOrientation(options.mOrientation >= 1 && options.mOrientation <= 8 ? options.mOrientation
                                                                              : 1),
          mFactor(
              workFactor(left.mWidth, left.mHeight, std::max(options.mWorkPixels, kMinWorkPixels))),
          mWidth(left.mWidth),
          mHeight(left.mHeight) {
        const SImage* pictures[2] = {&left, &right};
        cv::parallel_for_(cv::Range(0, 2), [&](const cv::Range& range) {
            for (int i = range.start; i < range.end; ++i) {
                mWork[i] = shownAxes(reduceToGray(*pictures[i], mFactor), mOrientation);
                mFeatures[i] = detectFeatures(mWork[i], mFactor > 1);
            }
        });
        mCx = mFactor * mWork[0].cols / 2.0;
        mCy = mFactor * mWork[0].rows / 2.0;
    }

    // The result in the stored picture's axes, about its centre.
    SStereoAlignment align() {
        SStereoAlignment result = alignShown();
        if (!result.mOk)
            return result;
        int m[4];
        orientationMatrix(mOrientation, m);
        // Shown vectors go back to stored ones by the transpose; a mirror turns the other
        // way round.
        const int determinant = m[0] * m[3] - m[1] * m[2];
        const double dx = m[0] * result.mDx + m[2] * result.mDy;
        const double dy = m[1] * result.mDx + m[3] * result.mDy;
        const double rotation = determinant * result.mRotation;
        // From the covered part's centre to the picture's: q - c = A (p - c) + t + (I - A) e,
        // e the covered centre minus the picture's.
        const bool sideways = m[0] == 0;
        const double ex = mFactor * (sideways ? mWork[0].rows : mWork[0].cols) / 2.0 - mWidth / 2.0;
        const double ey =
            mFactor * (sideways ? mWork[0].cols : mWork[0].rows) / 2.0 - mHeight / 2.0;
        const double a = result.mScale * std::cos(rotation), b = result.mScale * std::sin(rotation);
        result.mDx = dx + ex - (a * ex - b * ey);
        result.mDy = dy + ey - (b * ex + a * ey);
        result.mRotation = rotation;
        result.mWidth = mWidth;
        result.mHeight = mHeight;
        result.mOrientation = mOrientation;
        return result;
    }

private:
    SStereoAlignment alignShown() {
        for (int i = 0; i < 2; ++i)
            if (int(mFeatures[i].mPoints.size()) < kMinMatches)
                return tooFewMatches(std::string("the ") + (i == 0 ? "left" : "right") +
                                         " picture has too little detail to match",
                                     0, mOptions);
        SStereoFit fit;
        std::vector<SPointPair> pairs;
        if (!coarseModel(&fit) || !matchAll(fit.mModel, &pairs, &fit))
            return tooFewMatches(
                matchCount("too few features match between the pictures", fit.mInliers.size()),
                int(fit.mInliers.size()), mOptions);
        // The matches refined to a fraction of a pixel, and the model fitted anew on them.
        // A few hundred spread over the picture pin it down as well as thousands would.
        // Every match along the side edges is kept, where a near object cut by the frame
        // may hold only a few.
        std::vector<SPointPair> inliers;
        const size_t step = (fit.mInliers.size() + kMaxRefined - 1) / kMaxRefined;
        for (size_t i = 0; i < fit.mInliers.size(); ++i) {
            const SPointPair& pair = pairs[size_t(fit.mInliers[i])];
            if (i % step == 0 || edgeBand(pair) != 0)
                inliers.push_back(pair);
        }
        const std::vector<SPointPair> refined =
            refinePairs(mWork[0], mWork[1], mFactor, fit.mModel, mCx, mCy, inliers);
        if (!fineModel(refined, &fit))
            return tooFewMatches(
                matchCount("too few matches hold when refined", fit.mInliers.size()),
                int(fit.mInliers.size()), mOptions);
        return checkedResult(fit, refined);
    }

    // -1 or 1 for a pair within the band along the left or right edge in either picture,
    // else 0. A near object at the left edge lies further left in the right picture,
    // where features close to the edge are not found.
    int edgeBand(const SPointPair& pair) const {
        const double band = kEdgeBand * 2 * mCx;
        return std::min(pair.mLeftX, pair.mRightX) < band             ? -1
               : std::max(pair.mLeftX, pair.mRightX) > 2 * mCx - band ? 1
                                                                      : 0;
    }

    std::vector<SPointPair> pointPairs(const SFeatures& l, const SFeatures& r,
                                       const std::vector<SMatch>& matches) const {
        std::vector<SPointPair> pairs;
        pairs.reserve(matches.size());
        for (const SMatch& m : matches) {
            const cv::Point2f p = l.mPoints[size_t(m.mLeft)].pt;
            const cv::Point2f q = r.mPoints[size_t(m.mRight)].pt;
            pairs.push_back(SPointPair{mFactor * (p.x + 0.5), mFactor * (p.y + 0.5),
                                       mFactor * (q.x + 0.5), mFactor * (q.y + 0.5)});
        }
        return pairs;
    }

    // The features are found to about a work pixel, the fit allows twice that.
    bool featureFit(const std::vector<SPointPair>& pairs, SStereoFit* fit) const {
        return int(pairs.size()) >= kMinMatches &&
               robustStereoFit(pairs, mCx, mCy, 2.0 * mFactor, kSearchMinScale, kSearchMaxScale,
                               kSearchMaxRotation, fit) &&
               int(fit->mInliers.size()) >= kMinMatches;
    }

    SMatchBand band(const SStereoModel& model, double tolerance) const {
        SMatchBand band;
        band.mModel = model;
        band.mModel.ty /= mFactor;
        band.mCentreX = mCx / mFactor - 0.5;
        band.mCentreY = mCy / mFactor - 0.5;
        band.mHalfWidth = mWork[0].cols / 2.0;
        band.mTolerance = tolerance;
        // Horizontally the depth of a close subject besides any rotation or scale.
        band.mMaxDx = 0.3 * mWork[0].cols;
        return band;
    }

    // A first model from the strongest features, matched anywhere a right point may lie
    // for a left one given the vertical offset, rotation and scale a pair may have; from
    // all features when the strongest do not suffice.
    bool coarseModel(SStereoFit* fit) const {
        const double width = mWork[0].cols, height = mWork[0].rows;
        const SMatchBand wide =
            band(SStereoModel(), std::sin(kMaxRotationDegrees * kRadians) * width / 2 +
                                     (kMaxScale - 1) * height / 2 + 0.03 * std::max(width, height));
        const SFeatures left = strongestFeatures(mFeatures[0], kCoarseFeatures);
        const SFeatures right = strongestFeatures(mFeatures[1], kCoarseFeatures);
        if (featureFit(pointPairs(left, right, matchFeatures(left, right, wide)), fit))
            return true;
        const bool all = left.mPoints.size() == mFeatures[0].mPoints.size() &&
                         right.mPoints.size() == mFeatures[1].mPoints.size();
        return !all && featureFit(pointPairs(mFeatures[0], mFeatures[1],
                                             matchFeatures(mFeatures[0], mFeatures[1], wide)),
                                  fit);
    }

    // All features matched where the model puts them: a narrow band holds fewer
    // look-alikes, so more matches pass the ratio test.
    bool matchAll(const SStereoModel& model, std::vector<SPointPair>* pairs,
                  SStereoFit* fit) const {
        *pairs =
            pointPairs(mFeatures[0], mFeatures[1],
                       matchFeatures(mFeatures[0], mFeatures[1], band(model, kGuidedTolerance)));
        return featureFit(*pairs, fit);
    }

    // The refined matches' model: robust first (a match that still misses by a work pixel
    // is a wrong one that happened to fit the coarse model), then focused on the part of
    // the picture that agrees within itself. A few dozen matches do not tell that part
    // from a handful that happen to agree, which then turn the rest of the picture.
    bool fineModel(const std::vector<SPointPair>& refined, SStereoFit* fit) const {
        return int(refined.size()) >= kMinMatches &&
               robustStereoFit(refined, mCx, mCy, mFactor, kSearchMinScale, kSearchMaxScale,
                               kSearchMaxRotation, fit) &&
               (refined.size() < kMinFocused ||
                focusStereoFit(refined, mCx, mCy, kMinSpread, fit)) &&
               int(fit->mInliers.size()) >= kMinMatches;
    }

    SStereoAlignment checkedResult(const SStereoFit& fit,
                                   const std::vector<SPointPair>& refined) const {
        const SStereoModel& model = fit.mModel;
        const double scale = model.scale(), rotation = model.rotation();
        char text[160];
        if (scale < kMinScale || scale > kMaxScale) {
            std::snprintf(text, sizeof text,
                          "the pictures differ in scale by %.1f %%, more than a stereo "
                          "camera's pair does",
                          (scale - 1) * 100);
            return refusal(text);
        }
        if (std::abs(rotation) > kMaxRotationDegrees * kRadians) {
            std::snprintf(text, sizeof text,
                          "the pictures are turned by %.2f degrees against each other, more "
                          "than a stereo camera's pair is",
                          rotation / kRadians);
            return refusal(text);
        }
        if (std::hypot(fit.mScaleError, fit.mRotationError) * std::hypot(mCx, mCy) >
            kMaxCornerError)
            return tooFewMatches(
                "the matches cover too little of the picture to fix its rotation and scale",
                int(fit.mInliers.size()), mOptions);

        // The depths from every refined match the model explains, not only from the part
        // of the picture the fit settled on: the nearest object may lie anywhere.
        double threshold = std::max(kMinDepthThreshold, double(mFactor));
        for (int index : fit.mInliers)
            threshold = std::max(
                threshold, std::abs(verticalResidual(model, mCx, mCy, refined[size_t(index)])));
        std::vector<double> disparities, edges[2];
        for (const SPointPair& pair : refined)
            if (std::abs(verticalResidual(model, mCx, mCy, pair)) <= threshold) {
                disparities.push_back(horizontalDisparity(model, mCx, mCy, pair));
                if (const int side = edgeBand(pair))
                    edges[side > 0].push_back(disparities.back());
            }
        const double share = std::isfinite(mOptions.mNearPercentile)
                                 ? std::clamp(mOptions.mNearPercentile, 0.0, 50.0)
                                 : SAlignOptions().mNearPercentile;
        // A near object cut by a side edge may hold too few matches for the percentile,
        // yet in front of the screen it would float before the frame that cuts it.
        double nearest = percentile(disparities, 100.0 - share);
        for (std::vector<double>& edge : edges)
            if (edge.size() >= 2) {
                std::nth_element(edge.begin(), edge.begin() + 1, edge.end(), std::greater<>());
                nearest = std::max(nearest, edge[1]);
            }
        const double farthest = percentile(disparities, share);
        double shift = 0.0;
        switch (mOptions.mDepth) {
            case EDepthChoice::NearestAtScreen:
                shift = nearest;
                break;
            case EDepthChoice::MedianAtScreen:
                shift = percentile(disparities, 50.0);
                break;
            case EDepthChoice::NoHorizontal:
                break;
        }
        SStereoAlignment result;
        result.mOk = true;
        result.mDx = shift;
        result.mDy = model.ty;
        result.mRotation = rotation;
        result.mScale = scale;
        result.mMatches = int(fit.mInliers.size());
        result.mNear = nearest - shift;
        result.mFar = farthest - shift;
        return result;
    }

    const SAlignOptions& mOptions;
    const int mOrientation;
    const int mFactor;
    const int mWidth, mHeight;
    double mCx = 0.0, mCy = 0.0;
    cv::Mat mWork[2];
    SFeatures mFeatures[2];
};

}  // namespace

SStereoAlignment alignStereoPair(const SImage& left, const SImage& right,
                                 const SAlignOptions& options) {
    const std::string problem = pairProblem(left, right);
    if (!problem.empty())
        return refusal(problem);
    try {
        return CAligner(left, right, options).align();
    } catch (const cv::Exception& e) {
        return refusal(std::string("the feature search failed: ") + e.what());
    } catch (const std::bad_alloc&) {
        return refusal("out of memory while aligning the pictures");
    }
}

SImageHandle warpRightPicture(const SImage& right, const SStereoAlignment& alignment, int width,
                              int height) {
    // The library's warp addresses pixels with short integers.
    if (!right.mPixels || right.mWidth <= 0 || right.mHeight <= 0 || right.mBitDepth != 8 ||
        right.mChannels < 1 || right.mChannels > 4 || width <= 0 || height <= 0 ||
        width > SHRT_MAX || height > SHRT_MAX || right.mWidth > SHRT_MAX ||
        right.mHeight > SHRT_MAX)
        return makeImageHandle(failedImage());
    SImage shape;
    shape.mWidth = width;
    shape.mHeight = height;
    shape.mChannels = right.mChannels;
    SImageHandle out = allocateImage(shape);
    if (!out->mPixels)
        return out;
    const SStereoAlignment neutral;
    const SStereoAlignment& a = alignment.mOk ? alignment : neutral;
    // The source of each output pixel, in the library's positions (pixel centres at whole
    // numbers): alignedSource of the pixel centres, which are half a pixel further on.
    double x0, y0, x1, y1, x2, y2;
    alignedSource(a, width, height, 0.5, 0.5, &x0, &y0);
    alignedSource(a, width, height, 1.5, 0.5, &x1, &y1);
    alignedSource(a, width, height, 0.5, 1.5, &x2, &y2);
    const cv::Matx23d toSource(x1 - x0, x2 - x0, x0 - 0.5, y1 - y0, y2 - y0, y0 - 0.5);
    const int type = CV_8UC(right.mChannels);
    const cv::Mat source(right.mHeight, right.mWidth, type, right.mPixels);
    cv::Mat target(height, width, type, out->mPixels);
    // Black, and opaque where the picture has an alpha channel.
    const cv::Scalar black = right.mChannels == 4 ? cv::Scalar(0, 0, 0, 255) : cv::Scalar::all(0);
    try {
        cv::warpAffine(source, target, toSource, target.size(),
                       cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, black);
    } catch (const cv::Exception&) {
        return makeImageHandle(failedImage());
    } catch (const std::bad_alloc&) {
        return makeImageHandle(failedImage());
    }
    return out;
}

SStereoAlignment alignStereoPairAsShown(const SImage& left, const SImage& right,
                                        double parallaxPixels, int orientation) {
    SAlignOptions options;
    options.mParallaxPixels = parallaxPixels;
    options.mOrientation = orientation;
    return alignStereoPair(left, right, options);
}
