#pragma once
// The luminance model of the calibration, without any GL or Qt: the reference greys,
// the mixing of a colour towards white or black, and how bright a displayed colour
// looks through one filter of the glasses. CStereoCalib builds its screens, its
// predictions and its report from these; everything is in single precision, as the
// calibration keeps its filters and gamma.
#include <array>

// Red, green and blue: the components of a displayed colour in [0, 1], or the
// luminance transmissions of a filter (summing to 1, so that white passes whole).
using SRgb = std::array<float, 3>;

// Shown as a display value, a group's reference grey is scaled so that 1/2 becomes
// 128/255.
constexpr float kCalibGrayScale = 1.0039216f;

// The reference grey of group k - 1, for k >= 1: 1/2, 1/4, 3/4, 1/8, 3/8, 5/8, 7/8,
// 1/16, ... so that each new group halves the gaps between the greys before it. A k
// below 1 is taken as 1.
float calibGray(int k);

// A colour moved by the level a in [-1, 1]: towards white for a > 0 (a = 1 is white),
// towards black otherwise (a = -1 is black).
SRgb mixColor(float a, const SRgb& c);

// The level that mixColor needs to take the base value b to the target t. White (b = 1)
// can only be darkened: for t >= 1 there it gives no number.
float mixLevel(float t, float b);

// Luminance of the displayed colour c through a filter, on a display of the given
// gamma: sum of t_i * c_i^gamma.
float filterLuminance(const SRgb& c, const SRgb& filter, float gamma);

// The grey that looks as bright as c through the filter: filterLuminance^(1 / gamma).
float matchingGray(const SRgb& c, const SRgb& filter, float gamma);

// Each component raised to 1 / gamma: the displayed values whose light is c.
SRgb gammaEncode(const SRgb& c, float gamma);

// A colour derived from c, mixed towards black or white, whose luminance through the
// filter is x. Exact for colours whose components are 0 or 1; others come close.
SRgb equalLuminanceColor(const SRgb& c, const SRgb& filter, float gamma, float x);
