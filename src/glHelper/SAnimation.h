#pragma once
// A view animation: one float of the view parameters eased from its value at the
// start to an end value over a number of timer steps.

// The logistic ease curve of steepness k, rescaled so that it maps [0, 1] onto [0, 1];
// k = 0 is the straight line.
struct SEaseCurve {
    float k = 2.0f;
    float operator()(float t) const;
};

struct SAnimation {
    // Longer than any turn the keys ask for; an absurd angle from a file must not
    // become a count beyond int.
    static constexpr int kMaxSteps = 3600;

    // One step per degree of the way, rounded, at most kMaxSteps; none for a way that
    // is no number.
    static int stepsFor(float start, float end);

    SAnimation(float* target, float end, float k = 2.0f);

    // Moves one step; true while more steps follow. A finished animation changes
    // nothing and returns false.
    bool advance();

    float* mTarget;
    float mStart;
    float mEnd;
    int mSteps;
    int mStep = 0;
    SEaseCurve mEase;
};
