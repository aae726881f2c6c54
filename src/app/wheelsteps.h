#pragma once
// Fine-grained wheels and touch pads send fractions of a wheel step; they add up until a
// whole step is turned, and turning back takes off what was not used yet.
#include <cstdlib>

class CWheelSteps {
public:
    // One step of a classic mouse wheel, in eighths of a degree.
    static constexpr int kStep = 120;

    // Adds a turn (angleDelta().y(): positive away from the user) and returns the whole
    // steps it completes, with the turn's sign; the rest waits for the next turn.
    int add(int delta) {
        mRest += delta;
        const int steps = mRest / kStep;
        mRest -= steps * kStep;
        return steps;
    }

private:
    int mRest = 0;
};
