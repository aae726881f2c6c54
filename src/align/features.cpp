#include "alignsteps.h"

#include <opencv2/core/utility.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numeric>

int workFactor(int width, int height, int workPixels) {
    const double pixels = double(std::max(width, 0)) * double(std::max(height, 0));
    const double factor = std::sqrt(pixels / std::max(workPixels, 1));
    return std::clamp(int(std::lround(factor)), 1, 64);
}

namespace {

// Gray weights of R, G and B in 1/256: the luma of ordinary video.
constexpr uint32_t kRed = 77, kGreen = 150, kBlue = 29;

// The rows of a block that are read: all of them for small blocks; of larger ones the
// middle two (three when the block's side is odd, so that the middle stays the block's),
// which halves the reading of a camera picture. The features are found to a fraction of
// a work pixel either way, and the refinement brings them to a fraction of that.
int rowsRead(int factor) {
    return factor <= 3 ? factor : 2 + (factor & 1);
}

template <int kFactor, int kChannels>
void weighBlocks(const uint16_t* sums, uint8_t* out, int outWidth, uint32_t divisor) {
    for (int x = 0; x < outWidth; ++x, sums += kFactor * kChannels) {
        uint32_t red = 0, green = 0, blue = 0;
        for (int t = 0; t < kFactor; ++t)
            red += sums[t * kChannels], green += sums[t * kChannels + 1],
                blue += sums[t * kChannels + 2];
        out[x] = uint8_t((kRed * red + kGreen * green + kBlue * blue + divisor / 2) / divisor);
    }
}

// One output row: the rows of the block summed per sample first (a loop the compiler
// vectorises), then the blocks' samples weighted.
void reduceRow(const SImage& image, int factor, int row, uint16_t* sums, uint8_t* out,
               int outWidth) {
    const int channels = image.mChannels;
    const int rows = rowsRead(factor);
    const size_t samples = size_t(outWidth) * size_t(factor) * size_t(channels);
    const size_t stride = size_t(image.mWidth) * size_t(channels);
    const uint8_t* first =
        image.mPixels + (size_t(row) * size_t(factor) + size_t(factor - rows) / 2) * stride;
    for (size_t i = 0; i < samples; ++i)
        sums[i] = first[i];
    for (int r = 1; r < rows; ++r) {
        const uint8_t* src = first + size_t(r) * stride;
        for (size_t i = 0; i < samples; ++i)
            sums[i] = uint16_t(sums[i] + src[i]);
    }
    const uint32_t blockSamples = uint32_t(rows) * uint32_t(factor);
    if (channels == 1) {
        for (int x = 0; x < outWidth; ++x) {
            const uint16_t* s = sums + size_t(x) * size_t(factor);
            uint32_t total = 0;
            for (int t = 0; t < factor; ++t)
                total += s[t];
            out[x] = uint8_t((total + blockSamples / 2) / blockSamples);
        }
        return;
    }
    const uint32_t divisor = 256 * blockSamples;
    // The common small blocks with their size known to the compiler, which then unrolls
    // the block's sum.
    switch (factor * 8 + channels) {
        case 2 * 8 + 3:
            weighBlocks<2, 3>(sums, out, outWidth, divisor);
            return;
        case 3 * 8 + 3:
            weighBlocks<3, 3>(sums, out, outWidth, divisor);
            return;
        case 4 * 8 + 3:
            weighBlocks<4, 3>(sums, out, outWidth, divisor);
            return;
        case 4 * 8 + 4:
            weighBlocks<4, 4>(sums, out, outWidth, divisor);
            return;
        default:
            break;
    }
    for (int x = 0; x < outWidth; ++x) {
        const uint16_t* s = sums + size_t(x) * size_t(factor) * size_t(channels);
        uint32_t red = 0, green = 0, blue = 0;
        for (int t = 0; t < factor; ++t, s += channels)
            red += s[0], green += s[1], blue += s[2];
        out[x] = uint8_t((kRed * red + kGreen * green + kBlue * blue + divisor / 2) / divisor);
    }
}

}  // namespace

cv::Mat reduceToGray(const SImage& image, int factor) {
    const int outWidth = image.mWidth / factor, outHeight = image.mHeight / factor;
    cv::Mat gray(outHeight, outWidth, CV_8U);
    const size_t samples = size_t(outWidth) * size_t(factor) * size_t(image.mChannels);
    cv::parallel_for_(cv::Range(0, outHeight), [&](const cv::Range& rows) {
        std::vector<uint16_t> sums(samples);
        for (int y = rows.start; y < rows.end; ++y)
            reduceRow(image, factor, y, sums.data(), gray.ptr<uint8_t>(y), outWidth);
    });
    return gray;
}

SFeatures detectFeatures(const cv::Mat& gray, bool reduced) {
    // Scale and rotation between the two pictures are small, so the features need no
    // pyramid to match across them. A reduced copy is sharp at its own pixels; a picture
    // at full size (a small camera's) is often soft and noisy, and coarser levels find
    // features in it that its own pixels do not show. A low corner threshold keeps
    // features in dim pictures; only the strongest are kept anyway.
    const int wanted = std::clamp(int(gray.total() / 500), 1000, 2000);
    cv::Ptr<cv::ORB> orb =
        cv::ORB::create(2 * wanted, 1.2f, reduced ? 1 : 3, 31, 0, 2, cv::ORB::HARRIS_SCORE, 31, 5);
    std::vector<cv::KeyPoint> points;
    orb->detect(gray, points);
    // The strongest corners crowd where the picture is busiest, and a fit on them alone
    // matches that part and lets the rest drift: the strongest of each cell of a grid
    // first, then the strongest of the rest up to the number wanted. Only those are
    // described, which saves half of the descriptors' time.
    constexpr int kColumns = 12, kRows = 9;
    const int perCell = std::max(1, wanted / (2 * kColumns * kRows));
    std::vector<int> order(points.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int i, int j) {
        return points[size_t(i)].response > points[size_t(j)].response;
    });
    std::vector<int> taken(kColumns * kRows, 0);
    std::vector<bool> chosen(points.size(), false);
    int count = 0;
    for (int i : order) {
        const cv::Point2f p = points[size_t(i)].pt;
        const int column = std::clamp(int(p.x * kColumns / gray.cols), 0, kColumns - 1);
        const int row = std::clamp(int(p.y * kRows / gray.rows), 0, kRows - 1);
        if (taken[size_t(row * kColumns + column)]++ < perCell)
            chosen[size_t(i)] = true, ++count;
    }
    for (int i : order)
        if (count < wanted && !chosen[size_t(i)])
            chosen[size_t(i)] = true, ++count;
    SFeatures features;
    for (size_t i = 0; i < points.size(); ++i)
        if (chosen[i])
            features.mPoints.push_back(points[i]);
    orb->compute(gray, features.mPoints, features.mDescriptors);
    if (features.mDescriptors.rows != int(features.mPoints.size()) ||
        (!features.mPoints.empty() &&
         (features.mDescriptors.type() != CV_8U || features.mDescriptors.cols != 32)))
        return SFeatures();
    return features;
}

namespace {

// A right point as the band search reads it: position and descriptor side by side.
struct SCandidate {
    float mX, mY;
    int mIndex;
    uint64_t mBits[4];
};

// A match must be clearly the best: binary descriptors of unrelated patches differ in
// about half of their 256 bits, those of one corner seen twice in far fewer.
constexpr float kRatio = 0.8f;
constexpr int kMaxDistance = 80;
constexpr int kNone = std::numeric_limits<int>::max();

struct SNearest {
    int mBest = -1, mBestDistance = kNone, mSecondDistance = kNone;
};

// The descriptor distances of every left point to the right points of its band, with
// the processor's bit count where it has one: this loop is most of the matching.
__attribute__((target_clones("popcnt", "default"))) void searchBands(
    const SFeatures& left, const std::vector<SCandidate>& candidates, const SMatchBand& band,
    std::vector<SNearest>& nearest, std::vector<SNearest>& nearestLeft) {
    const SStereoModel& m = band.mModel;
    for (size_t i = 0; i < left.mPoints.size(); ++i) {
        const cv::Point2f p = left.mPoints[i].pt;
        uint64_t bits[4];
        std::memcpy(bits, left.mDescriptors.ptr<uint8_t>(int(i)), sizeof bits);
        // The heights where the model puts this point, anywhere across the picture.
        const double middle = band.mCentreY + (p.y - band.mCentreY - m.ty) / m.a;
        const double reach = (std::abs(m.b) * band.mHalfWidth + band.mTolerance) / m.a;
        const float top = float(middle - reach), bottom = float(middle + reach);
        size_t k = size_t(std::lower_bound(candidates.begin(), candidates.end(), top,
                                           [](const SCandidate& c, float y) { return c.mY < y; }) -
                          candidates.begin());
        SNearest& mine = nearest[i];
        for (; k < candidates.size() && candidates[k].mY <= bottom; ++k) {
            const SCandidate& c = candidates[k];
            if (std::abs(c.mX - p.x) > band.mMaxDx)
                continue;
            const double expectedY =
                band.mCentreY + m.b * (c.mX - band.mCentreX) + m.a * (c.mY - band.mCentreY) + m.ty;
            if (std::abs(p.y - expectedY) > band.mTolerance)
                continue;
            const int d = __builtin_popcountll(bits[0] ^ c.mBits[0]) +
                          __builtin_popcountll(bits[1] ^ c.mBits[1]) +
                          __builtin_popcountll(bits[2] ^ c.mBits[2]) +
                          __builtin_popcountll(bits[3] ^ c.mBits[3]);
            if (d < mine.mBestDistance) {
                mine.mSecondDistance = mine.mBestDistance;
                mine.mBestDistance = d;
                mine.mBest = c.mIndex;
            } else if (d < mine.mSecondDistance) {
                mine.mSecondDistance = d;
            }
            SNearest& theirs = nearestLeft[size_t(c.mIndex)];
            if (d < theirs.mBestDistance) {
                theirs.mBestDistance = d;
                theirs.mBest = int(i);
            }
        }
    }
}

}  // namespace

std::vector<SMatch> matchFeatures(const SFeatures& left, const SFeatures& right,
                                  const SMatchBand& band) {
    if (!(band.mModel.a > 0.5))
        return {};
    // The right points by height, so that each left point looks at its band only.
    std::vector<SCandidate> candidates(right.mPoints.size());
    for (size_t j = 0; j < candidates.size(); ++j) {
        SCandidate& c = candidates[j];
        c.mX = right.mPoints[j].pt.x;
        c.mY = right.mPoints[j].pt.y;
        c.mIndex = int(j);
        std::memcpy(c.mBits, right.mDescriptors.ptr<uint8_t>(int(j)), sizeof c.mBits);
    }
    std::sort(candidates.begin(), candidates.end(),
              [](const SCandidate& a, const SCandidate& b) { return a.mY < b.mY; });
    std::vector<SNearest> nearest(left.mPoints.size()), nearestLeft(right.mPoints.size());
    searchBands(left, candidates, band, nearest, nearestLeft);
    std::vector<SMatch> matches;
    for (size_t i = 0; i < nearest.size(); ++i) {
        const SNearest& n = nearest[i];
        if (n.mBest < 0 || n.mBestDistance > kMaxDistance ||
            nearestLeft[size_t(n.mBest)].mBest != int(i))
            continue;
        if (n.mSecondDistance != kNone && float(n.mBestDistance) >= kRatio * n.mSecondDistance)
            continue;
        matches.push_back(SMatch{int(i), n.mBest});
    }
    return matches;
}

SFeatures strongestFeatures(const SFeatures& features, size_t count) {
    if (features.mPoints.size() <= count)
        return features;
    std::vector<int> order(features.mPoints.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int i, int j) {
        return features.mPoints[size_t(i)].response > features.mPoints[size_t(j)].response;
    });
    SFeatures strongest;
    strongest.mDescriptors.create(int(count), 32, CV_8U);
    for (size_t k = 0; k < count; ++k) {
        strongest.mPoints.push_back(features.mPoints[size_t(order[k])]);
        features.mDescriptors.row(order[k]).copyTo(strongest.mDescriptors.row(int(k)));
    }
    return strongest;
}

double percentile(std::vector<double> values, double percent) {
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const double rank = std::clamp(percent, 0.0, 100.0) / 100.0 * double(values.size() - 1);
    const size_t low = size_t(std::floor(rank));
    const size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (rank - double(low)) * (values[high] - values[low]);
}
