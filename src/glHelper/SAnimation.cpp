#include "SAnimation.h"

#include "diagnostics.h"

#include <chrono>
#include <cmath>
#include <cstdio>

float SEaseCurve::operator()(float t) const {
    if (k == 0.0f)
        return t;
    const float scale = 0.5f / (0.5f - 1.0f / (std::exp(0.5f * k) + 1.0f));
    return (1.0f / (std::exp(-(t - 0.5f) * k) + 1.0f) - 0.5f) * scale + 0.5f;
}

int SAnimation::stepsFor(float start, float end) {
    const double degrees = std::fabs(double(start) - double(end)) * 90.0 / 1.5707963;
    if (!(degrees >= 0.0))
        return 0;
    if (degrees + 0.5 >= kMaxSteps)
        return kMaxSteps;
    return int(degrees + 0.5);
}

SAnimation::SAnimation(float* target, float end, float k)
    : mTarget(target), mStart(*target), mEnd(end), mSteps(stepsFor(*target, end)), mEase{k} {}

bool SAnimation::advance() {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    char text[64];
    std::snprintf(text, sizeof text, "t = %.12g", seconds);
    consoleInfo(text);
    if (mStep >= mSteps)
        return false;
    ++mStep;
    const float e = mEase(float(mStep) / float(mSteps));
    *mTarget = (1.0f - e) * mStart + e * mEnd;
    return mStep < mSteps;
}
