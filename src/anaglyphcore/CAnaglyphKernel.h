#pragma once
// One row of the anaglyph composite as the stereo shader computes each pixel, made fast
// with tables. The shader's sum of the colour matrix times (right colour, left
// luminance) is linear in the six decoded 8-bit values, so each value's whole share of
// the three outputs is looked up at once: six tables of 256 four-float entries hold
// gamma decoding, luminance weights, range mapping and matrix together, and one pixel
// costs six lookups and five vector additions. The re-encoding with the display gamma
// goes through a table indexed by the bits of the linear value, fine near black where
// the encoding is steepest: its bins are so narrow that only values within 1/8192 of an
// octave of a rounding edge can come out one level off.
#include "anaglyphSettings.h"

#include <cstdint>
#include <vector>

class CAnaglyphKernel {
public:
    explicit CAnaglyphKernel(const SAnaglyphSettings& settings);

    // width pixels of 8-bit RGB from the view on texture unit 0 (left) and unit 1
    // (right) to 8-bit RGB.
    void compose(const uint8_t* left, const uint8_t* right, uint8_t* out, int width) const;

private:
    // 2^13 bins per octave of linear values.
    static constexpr int kBinShift = 23 - 13;

    struct alignas(16) SShare {
        float mOut[4];  // the share of outputs 0..2; the fourth is unused
    };

    // One linear value to its bin: clamped to the table's range, then the float's top
    // bits.
    uint32_t bin(float x) const;

    SShare mColourShare[3][256];  // [channel][value] of the view that keeps its colour
    SShare mLumShare[3][256];     // [channel][value] of the view that gives luminance
    bool mSwapped;                // the luminance comes from the right view
    float mLowest;                // the table's first edge, below every rounding edge
    float mHighest;               // the largest value below one
    uint32_t mFirstBin;
    std::vector<uint8_t> mEncode;  // per bin: the level of its middle
};
