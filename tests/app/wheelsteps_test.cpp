#include "wheelsteps.h"

#include <gtest/gtest.h>

// Touch pads send a step in many small turns; none of them may be lost, and a turn
// back takes off what has not made a step yet instead of stepping the other way.
TEST(WheelSteps, FractionsAddUpAndTurningBackTakesThemOff) {
    CWheelSteps wheel;
    EXPECT_EQ(wheel.add(50), 0);
    EXPECT_EQ(wheel.add(50), 0);
    EXPECT_EQ(wheel.add(50), 1);    // 150: one step, 30 left
    EXPECT_EQ(wheel.add(-100), 0);  // -70
    EXPECT_EQ(wheel.add(-50), -1);  // -120 whole
    EXPECT_EQ(wheel.add(360), 3);
    EXPECT_EQ(wheel.add(-119), 0);
    EXPECT_EQ(wheel.add(-1), -1);
}
