#include "CAnaglyphKernel.h"

#include "anaglyphMatrices.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

uint32_t bitsOf(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

float floatOf(uint32_t bits) {
    float x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

}  // namespace

CAnaglyphKernel::CAnaglyphKernel(const SAnaglyphSettings& settings) {
    const SAnaglyphMatrices tables = computeAnaglyphMatrices(
        settings.a_l, settings.b_l, settings.a_r, settings.b_r, settings.gamma);
    const int halos = settings.mRemoveHalos ? 1 : 0;
    const int mode = std::clamp(settings.mMode, 0, 2);
    const float* fc = tables.mFc[halos][mode];
    const float* filtL = tables.mFiltL[halos][mode];
    mSwapped = tables.mRoles.mSwapped;
    const std::array<float, 4> map =
        settings.mRestrictedRange ? restrictedRangeMapping(tables.mRoles) : kFullRangeMapping;

    // As the shader: the texel's value to the power of gamma; the colour mapped into
    // its range, the luminance weighted with filtL and mapped into its own; then output
    // row o takes fc's column c of colour channel c and column 3 of the luminance. The
    // luminance's offset goes with channel 0, whose value is always there.
    const float gamma = filtL[3];
    for (int v = 0; v < 256; ++v) {
        const float linear = std::pow(float(v) / 255.0f, gamma);
        const float colour = linear * map[2] + map[3];
        for (int c = 0; c < 3; ++c) {
            const float lum = linear * filtL[c] * map[0] + (c == 0 ? map[1] : 0.0f);
            for (int o = 0; o < 3; ++o) {
                mColourShare[c][v].mOut[o] = fc[c * 4 + o] * colour;
                mLumShare[c][v].mOut[o] = fc[3 * 4 + o] * lum;
            }
            mColourShare[c][v].mOut[3] = mLumShare[c][v].mOut[3] = 0.0f;
        }
    }

    // Level k takes the linear values from ((k - 0.5) / 255)^gamma on. The bins start
    // an octave below the power of two below the first such edge, so that the first bin
    // lies wholly below it.
    const double firstEdge = std::log2(std::pow(0.5 / 255.0, double(gamma)));
    const int firstExponent =
        std::isfinite(firstEdge) ? std::clamp(int(std::floor(firstEdge)) - 1, -126, -1) : -126;
    mLowest = std::ldexp(1.0f, firstExponent);
    mHighest = std::nextafter(1.0f, 0.0f);
    mFirstBin = bitsOf(mLowest) >> kBinShift;
    const uint32_t endBin = (bitsOf(1.0f) >> kBinShift);
    double edges[257];
    for (int k = 1; k < 256; ++k)
        edges[k] = std::pow((k - 0.5) / 255.0, double(gamma));
    edges[256] = HUGE_VAL;
    mEncode.resize(endBin - mFirstBin);
    int level = 0;
    for (uint32_t b = mFirstBin; b < endBin; ++b) {
        const double middle = floatOf((b << kBinShift) | (1u << (kBinShift - 1)));
        while (edges[level + 1] <= middle)
            ++level;
        mEncode[b - mFirstBin] = uint8_t(level);
    }
}

uint32_t CAnaglyphKernel::bin(float x) const {
    // Below zero and no number alike go to the first bin, at one and above to the last.
    x = x > mLowest ? x : mLowest;
    x = x < mHighest ? x : mHighest;
    return (bitsOf(x) >> kBinShift) - mFirstBin;
}

void CAnaglyphKernel::compose(const uint8_t* left, const uint8_t* right, uint8_t* out,
                              int width) const {
    const uint8_t* lum = mSwapped ? right : left;
    const uint8_t* colour = mSwapped ? left : right;
    const uint8_t* encode = mEncode.data();
#if defined(__SSE2__)
    const __m128 lowest = _mm_set1_ps(mLowest), highest = _mm_set1_ps(mHighest);
    const __m128i firstBin = _mm_set1_epi32(int(mFirstBin));
    for (int x = 0; x < width; ++x, lum += 3, colour += 3, out += 3) {
        const __m128 a = _mm_add_ps(_mm_load_ps(mColourShare[0][colour[0]].mOut),
                                    _mm_load_ps(mColourShare[1][colour[1]].mOut));
        const __m128 b = _mm_add_ps(_mm_load_ps(mColourShare[2][colour[2]].mOut),
                                    _mm_load_ps(mLumShare[0][lum[0]].mOut));
        const __m128 c = _mm_add_ps(_mm_load_ps(mLumShare[1][lum[1]].mOut),
                                    _mm_load_ps(mLumShare[2][lum[2]].mOut));
        // max and min take the bound when the sum is no number.
        const __m128 v = _mm_min_ps(_mm_max_ps(_mm_add_ps(_mm_add_ps(a, b), c), lowest), highest);
        const __m128i bins =
            _mm_sub_epi32(_mm_srli_epi32(_mm_castps_si128(v), kBinShift), firstBin);
        alignas(16) uint32_t index[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(index), bins);
        out[0] = encode[index[0]];
        out[1] = encode[index[1]];
        out[2] = encode[index[2]];
    }
#else
    for (int x = 0; x < width; ++x, lum += 3, colour += 3, out += 3) {
        for (int o = 0; o < 3; ++o) {
            const float a = mColourShare[0][colour[0]].mOut[o] + mColourShare[1][colour[1]].mOut[o];
            const float b = mColourShare[2][colour[2]].mOut[o] + mLumShare[0][lum[0]].mOut[o];
            const float c = mLumShare[1][lum[1]].mOut[o] + mLumShare[2][lum[2]].mOut[o];
            out[o] = encode[bin((a + b) + c)];
        }
    }
#endif
}
