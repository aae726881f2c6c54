#include "resample.h"

#include <algorithm>
#include <cstring>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The columns of the vertical pass are summed in blocks that stay in the first-level
// cache together with their accumulators.
constexpr size_t kBlock = 2048;
// The vertical pass keeps 7 bits below a sample's unit, so that its results still fit
// signed 16 bits for the multiply-adds of the horizontal pass.
constexpr int kWeightBits = 14;
constexpr int kFractionBits = 7;
constexpr int kVerticalShift = kWeightBits - kFractionBits;
constexpr int kHorizontalShift = kWeightBits + kFractionBits;
// Zero samples after the intermediate row: the horizontal pass reads whole groups of
// four samples and pairs of taps, with zero weights past a pixel's own taps.
constexpr size_t kRowPadding = 16;

// Exact weights of one output pixel, as overlap lengths in units of 1/denominator.
struct SExactWeights {
    int mFirst;
    std::vector<int64_t> mParts;
    int64_t mDenominator;
};

SExactWeights exactWeights(int in, int out, int j) {
    SExactWeights w;
    if (out < in) {
        // Output pixel j covers [j * in, (j + 1) * in) in units of 1/out of an input pixel.
        const int64_t lo = int64_t(j) * in, hi = lo + in;
        w.mFirst = int(lo / out);
        const int last = int((hi - 1) / out);
        for (int k = w.mFirst; k <= last; ++k)
            w.mParts.push_back(std::min(hi, int64_t(k + 1) * out) - std::max(lo, int64_t(k) * out));
        w.mDenominator = in;
        return w;
    }
    // The centre of output pixel j lies at (2j + 1) * in - out in units of 1/(2 out).
    const int64_t scale = 2 * int64_t(out);
    const int64_t centre = std::max<int64_t>(0, (2 * int64_t(j) + 1) * in - out);
    w.mFirst = int(centre / scale);
    const int64_t fraction = centre % scale;
    w.mDenominator = scale;
    if (w.mFirst >= in - 1 || fraction == 0) {
        w.mFirst = std::min(w.mFirst, in - 1);
        w.mParts = {scale};
    } else {
        w.mParts = {scale - fraction, fraction};
    }
    return w;
}

// One output row of the vertical pass over all samples of the input width. Written so
// that the compiler turns it into 16-bit multiplies on vectors; with the number of taps
// known, the sums stay in registers.
template <int fixedTaps>
void verticalRow(const unsigned char* src, size_t rowSamples, const SResampleAxis& axis, int i,
                 int16_t* out) {
    const int taps = fixedTaps > 0 ? fixedTaps : axis.mTaps;
    const int32_t* weights = axis.mWeights.data() + size_t(i) * size_t(taps);
    const unsigned char* first = src + size_t(axis.mFirst[size_t(i)]) * rowSamples;
    if (fixedTaps > 0) {
        int16_t w[fixedTaps > 0 ? fixedTaps : 1];
        const unsigned char* rows[fixedTaps > 0 ? fixedTaps : 1];
        for (int t = 0; t < fixedTaps; ++t) {
            w[t] = int16_t(weights[t]);
            rows[t] = first + size_t(t) * rowSamples;
        }
        for (size_t x = 0; x < rowSamples; ++x) {
            int32_t sum = int32_t(1) << (kVerticalShift - 1);
            for (int t = 0; t < fixedTaps; ++t)
                sum += int32_t(w[t]) * int16_t(rows[t][x]);
            out[x] = int16_t(sum >> kVerticalShift);
        }
        return;
    }
    int32_t sum[kBlock];
    for (size_t begin = 0; begin < rowSamples; begin += kBlock) {
        const size_t count = std::min(kBlock, rowSamples - begin);
        for (size_t x = 0; x < count; ++x)
            sum[x] = int32_t(1) << (kVerticalShift - 1);
        for (int t = 0; t < taps; ++t) {
            const int16_t w = int16_t(weights[t]);
            if (w == 0)
                continue;
            const unsigned char* row = first + size_t(t) * rowSamples + begin;
            for (size_t x = 0; x < count; ++x)
                sum[x] += int32_t(w) * int16_t(row[x]);
        }
        for (size_t x = 0; x < count; ++x)
            out[begin + x] = int16_t(sum[x] >> kVerticalShift);
    }
}

void verticalRowFor(const unsigned char* src, size_t rowSamples, const SResampleAxis& axis, int i,
                    int16_t* out) {
    switch (axis.mTaps) {
        case 1:
            return verticalRow<1>(src, rowSamples, axis, i, out);
        case 2:
            return verticalRow<2>(src, rowSamples, axis, i, out);
        case 3:
            return verticalRow<3>(src, rowSamples, axis, i, out);
        default:
            return verticalRow<0>(src, rowSamples, axis, i, out);
    }
}

SResamplePairs pairWeights(const SResampleAxis& axis, int outSize) {
    SResamplePairs paired;
    paired.mPairs = (axis.mTaps + 1) / 2;
    paired.mWeights.assign(size_t(outSize) * size_t(paired.mPairs), 0);
    for (int j = 0; j < outSize; ++j) {
        const int32_t* w = axis.mWeights.data() + size_t(j) * size_t(axis.mTaps);
        for (int k = 0; k < paired.mPairs; ++k) {
            const uint32_t low = uint32_t(w[2 * k]);
            const uint32_t high = 2 * k + 1 < axis.mTaps ? uint32_t(w[2 * k + 1]) : 0;
            paired.mWeights[size_t(j) * size_t(paired.mPairs) + size_t(k)] =
                int32_t(low | high << 16);
        }
    }
    return paired;
}

#if defined(__SSE2__)
// Three or four channels: the samples of one pixel side by side in one vector, two taps
// at a time in one multiply-add; the result is the pixel in the low four bytes.
template <int n, int fixedPairs>
inline int32_t horizontalPixel(const int16_t* p, const int32_t* weights, int pairs) {
    if (fixedPairs > 0)
        pairs = fixedPairs;
    __m128i sum = _mm_set1_epi32(int32_t(1) << (kHorizontalShift - 1));
    for (int k = 0; k < pairs; ++k, p += 2 * n) {
        const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + n));
        sum = _mm_add_epi32(sum,
                            _mm_madd_epi16(_mm_unpacklo_epi16(a, b), _mm_set1_epi32(weights[k])));
    }
    sum = _mm_srai_epi32(sum, kHorizontalShift);
    return _mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(sum, sum), sum));
}

template <int n, int fixedPairs>
void horizontalRow(const int16_t* in, const SResampleAxis& axis, const SResamplePairs& paired,
                   int outWidth, unsigned char* out) {
    const int pairs = paired.mPairs;
    const int32_t* weights = paired.mWeights.data();
    // Whole groups of four bytes are stored; with three channels each one runs into the
    // next pixel, which overwrites it, so the last pixel is stored apart.
    const int whole = n == 4 ? outWidth : outWidth - 1;
    int j = 0;
    for (; j < whole; ++j, weights += pairs, out += n) {
        const int32_t pixel =
            horizontalPixel<n, fixedPairs>(in + size_t(axis.mFirst[size_t(j)]) * n, weights, pairs);
        std::memcpy(out, &pixel, 4);
    }
    if (j < outWidth) {
        const int32_t pixel =
            horizontalPixel<n, fixedPairs>(in + size_t(axis.mFirst[size_t(j)]) * n, weights, pairs);
        std::memcpy(out, &pixel, n);
    }
}

template <int n>
void horizontalRowFor(const int16_t* in, const SResampleAxis& axis, const SResamplePairs& paired,
                      int outWidth, unsigned char* out) {
    switch (paired.mPairs) {
        case 1:
            return horizontalRow<n, 1>(in, axis, paired, outWidth, out);
        case 2:
            return horizontalRow<n, 2>(in, axis, paired, outWidth, out);
        default:
            return horizontalRow<n, 0>(in, axis, paired, outWidth, out);
    }
}
#endif

// Any channel count, one sample at a time.
void horizontalRowPlain(const int16_t* in, const SResampleAxis& axis, int channels, int outWidth,
                        unsigned char* out) {
    const int taps = axis.mTaps;
    for (int j = 0; j < outWidth; ++j) {
        const int32_t* w = axis.mWeights.data() + size_t(j) * size_t(taps);
        const int16_t* p = in + size_t(axis.mFirst[size_t(j)]) * size_t(channels);
        for (int c = 0; c < channels; ++c) {
            int32_t sum = int32_t(1) << (kHorizontalShift - 1);
            for (int t = 0; t < taps; ++t)
                sum += w[t] * p[t * channels + c];
            *out++ = (unsigned char)std::min(255, std::max(0, sum >> kHorizontalShift));
        }
    }
}

}  // namespace

SResampleAxis resampleAxis(int inSize, int outSize) {
    SResampleAxis axis;
    if (inSize < 1 || outSize < 1)
        return axis;
    std::vector<SExactWeights> exact;
    exact.reserve(size_t(outSize));
    size_t taps = 1;
    for (int j = 0; j < outSize; ++j) {
        exact.push_back(exactWeights(inSize, outSize, j));
        taps = std::max(taps, exact.back().mParts.size());
    }
    axis.mTaps = int(taps);
    axis.mFirst.resize(size_t(outSize));
    axis.mWeights.assign(size_t(outSize) * taps, 0);
    for (int j = 0; j < outSize; ++j) {
        const SExactWeights& w = exact[size_t(j)];
        // Every pixel gets the same number of taps; near the end the window moves left,
        // with leading zero weights, so that it never reaches past the last input.
        const int first = std::min(w.mFirst, inSize - int(taps));
        const size_t lead = size_t(w.mFirst - first);
        int32_t* out = axis.mWeights.data() + size_t(j) * taps + lead;
        int32_t total = 0;
        size_t largest = 0;
        for (size_t t = 0; t < w.mParts.size(); ++t) {
            out[t] = int32_t((w.mParts[t] * kResampleOne + w.mDenominator / 2) / w.mDenominator);
            total += out[t];
            if (out[t] > out[largest])
                largest = t;
        }
        // The rounding error goes to the heaviest tap, so that flat areas stay exact.
        out[largest] += kResampleOne - total;
        axis.mFirst[size_t(j)] = first;
    }
    return axis;
}

namespace {
void resampleRows(const unsigned char* src, size_t srcRow, const SResampleAxis& vertical,
                  const SResampleAxis& horizontal, const SResamplePairs& paired, int channels,
                  unsigned char* dst, size_t dstRow, int dstWidth, int firstRow, int endRow,
                  int16_t* column) {
    for (int i = firstRow; i < endRow; ++i) {
        verticalRowFor(src, srcRow, vertical, i, column);
        unsigned char* out = dst + size_t(i) * dstRow;
#if defined(__SSE2__)
        if (channels == 3) {
            horizontalRowFor<3>(column, horizontal, paired, dstWidth, out);
            continue;
        }
        if (channels == 4) {
            horizontalRowFor<4>(column, horizontal, paired, dstWidth, out);
            continue;
        }
#endif
        horizontalRowPlain(column, horizontal, channels, dstWidth, out);
    }
}
}  // namespace

CRowResampler::CRowResampler(int srcWidth, int srcHeight, int channels, int dstWidth, int dstHeight)
    : mSrcWidth(srcWidth),
      mSrcHeight(srcHeight),
      mChannels(channels),
      mDstWidth(dstWidth),
      mDstHeight(dstHeight) {
    if (srcWidth < 1 || srcHeight < 1 || dstWidth < 1 || dstHeight < 1 || channels < 1 ||
        channels > 4)
        return;
    mHorizontal = resampleAxis(srcWidth, dstWidth);
    mVertical = resampleAxis(srcHeight, dstHeight);
    mPaired = pairWeights(mHorizontal, dstWidth);
    mValid = true;
}

int CRowResampler::sourceRowsFor(int i) const {
    if (!mValid)
        return 0;
    if (mSrcWidth == mDstWidth && mSrcHeight == mDstHeight)
        return i + 1;
    return mVertical.mFirst[size_t(i)] + mVertical.mTaps;
}

void CRowResampler::run(const unsigned char* src, unsigned char* dst, int firstRow,
                        int endRow) const {
    if (!mValid || firstRow >= endRow)
        return;
    const size_t srcRow = size_t(mSrcWidth) * size_t(mChannels);
    const size_t dstRow = size_t(mDstWidth) * size_t(mChannels);
    if (mSrcWidth == mDstWidth && mSrcHeight == mDstHeight) {
        std::memcpy(dst + size_t(firstRow) * dstRow, src + size_t(firstRow) * srcRow,
                    srcRow * size_t(endRow - firstRow));
        return;
    }
    std::vector<int16_t> column(srcRow + kRowPadding, 0);
    resampleRows(src, srcRow, mVertical, mHorizontal, mPaired, mChannels, dst, dstRow, mDstWidth,
                 firstRow, endRow, column.data());
}

bool resamplePixels(const unsigned char* src, int srcWidth, int srcHeight, int channels,
                    unsigned char* dst, int dstWidth, int dstHeight) {
    const CRowResampler resampler(srcWidth, srcHeight, channels, dstWidth, dstHeight);
    if (!src || !dst || !resampler.valid())
        return false;
    // Output rows are independent: a large picture is shared out among the cores in
    // bands.
    const int64_t work = int64_t(dstWidth) * dstHeight;
    const int cores = int(std::min(4u, std::max(1u, std::thread::hardware_concurrency())));
    const int bands = work >= (int64_t(1) << 20) ? std::min(cores, dstHeight) : 1;
    std::vector<std::thread> helpers;
    for (int b = 1; b < bands; ++b)
        helpers.emplace_back([&, b] {
            resampler.run(src, dst, int(int64_t(dstHeight) * b / bands),
                          int(int64_t(dstHeight) * (b + 1) / bands));
        });
    resampler.run(src, dst, 0, int(int64_t(dstHeight) / bands));
    for (std::thread& t : helpers)
        t.join();
    return true;
}
