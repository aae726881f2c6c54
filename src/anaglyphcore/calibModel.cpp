#include "calibModel.h"

#include <cmath>

float calibGray(int k) {
    if (k < 1)
        k = 1;
    // Halving k instead of doubling d keeps the largest k clear of overflow.
    int d = 1;
    while (d <= k / 2)
        d *= 2;
    return float((2.0 * (k - d) + 1.0) / (2.0 * d));
}

SRgb mixColor(float a, const SRgb& c) {
    SRgb out;
    for (size_t i = 0; i < 3; ++i)
        out[i] = a > 0.0f ? a + (1.0f - a) * c[i] : c[i] * (1.0f + a);
    return out;
}

float mixLevel(float t, float b) {
    return t < b ? t / b - 1.0f : (t - b) / (1.0f - b);
}

float filterLuminance(const SRgb& c, const SRgb& filter, float gamma) {
    float y = 0.0f;
    for (size_t i = 0; i < 3; ++i)
        y += filter[i] * std::pow(c[i], gamma);
    return y;
}

float matchingGray(const SRgb& c, const SRgb& filter, float gamma) {
    return std::pow(filterLuminance(c, filter, gamma), 1.0f / gamma);
}

SRgb gammaEncode(const SRgb& c, float gamma) {
    SRgb out;
    for (size_t i = 0; i < 3; ++i)
        out[i] = std::pow(c[i], 1.0f / gamma);
    return out;
}

SRgb equalLuminanceColor(const SRgb& c, const SRgb& filter, float gamma, float x) {
    return gammaEncode(mixColor(mixLevel(x, filterLuminance(c, filter, gamma)), c), gamma);
}
