#pragma once
// The arithmetic of the anaglyph composite: which filter gets the luminance picture,
// the six colour matrices and luminance weights that the stereo fragment shader
// receives, and the range mapping. Plain numbers only, so that all of it can be
// checked without a GL context; CAnaglyphRenderer uploads the results.
#include <array>

// Rec. 709 luminance weights as the shader receives them (single-precision values).
constexpr float kLumR = 0.212639004f;
constexpr float kLumG = 0.715168655f;
constexpr float kLumB = 0.0721923187f;

// The part each filter plays. The eye behind A receives a luminance picture of the
// view that belongs to it; the eye behind B receives the colour of its own view.
struct SFilterRoles {
    std::array<double, 3> mA{};  // red, green and blue fractions A passes; sum 1
    std::array<double, 3> mB{};
    bool mSwapped = false;  // A is the right filter
    int mJ = 0;             // A's dominant primary (0 red, 1 green, 2 blue)
    int mK = 1, mM = 2;     // the two others, (J + 1) mod 3 and (J + 2) mod 3
};

// Filters given by their red and green fractions; blue is the rest.
SFilterRoles chooseFilterRoles(float a_l, float b_l, float a_r, float b_r);

// Index order of both tables: [halo removal 0/1][colour mode 0 full, 1 half, 2 gray].
struct SAnaglyphMatrices {
    // 4 x 4 column by column (element col * 4 + row), from (rJ, rK, rM, y) laid out at
    // positions (J, K, M, 3) to the output colour.
    float mFc[2][3][16];
    // rgb: weights of the linearised texL colour for y; a: the display gamma.
    float mFiltL[2][3][4];
    SFilterRoles mRoles;
    // Both filters pass the same share of A's dominant primary, so halo removal has no
    // solution; the halo-removal entries then repeat those without halo removal.
    bool mDegenerate = false;
};

SAnaglyphMatrices computeAnaglyphMatrices(float a_l, float b_l, float a_r, float b_r, float gamma);

// The shader's mapCol for restricted range: y into [t, 1 - t] with t = 1 - A[J], the
// colour components into [u, 1 - u] with u = B[J].
std::array<float, 4> restrictedRangeMapping(const SFilterRoles& roles);
// No mapping at all.
constexpr std::array<float, 4> kFullRangeMapping{1.0f, 0.0f, 1.0f, 0.0f};

// One pixel of the composite as the stereo shader computes it from 8-bit view colours,
// encoded to 8 bits as the framebuffer stores it. fc, filtL and mapCol are one set of
// the tables above; swapped: the luminance comes from the right view.
std::array<unsigned char, 3> compositePixel(const float fc[16], const float filtL[4],
                                            const float mapCol[4], bool swapped,
                                            const unsigned char left[3],
                                            const unsigned char right[3]);
