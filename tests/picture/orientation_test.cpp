// Quarter turns of each Exif orientation, against a table and against the view's own
// texture coordinates: the turned picture must show what the old one shows, turned.
#include "orientation.h"

#include <gtest/gtest.h>

TEST(Orientation, AQuarterTurnComposesWithEachOfTheEightOrientations) {
    // orientation -> after a clockwise turn
    const int right[8][2] = {{1, 6}, {6, 3}, {3, 8}, {8, 1}, {2, 7}, {7, 4}, {4, 5}, {5, 2}};
    for (const auto& [from, to] : right) {
        EXPECT_EQ(turnedRight(from), to) << from;
        EXPECT_EQ(turnedLeft(to), from) << to;
    }
    for (int bad : {0, -2, -1, 9})
        EXPECT_EQ(turnedRight(bad), 6) << bad;

    // A point shown at (a, b) after a clockwise turn was shown at (b, 1 - a) before it.
    const float points[3][2] = {{0.1f, 0.2f}, {0.9f, 0.3f}, {0.25f, 0.75f}};
    for (int o = 1; o <= 8; ++o)
        for (const auto& p : points) {
            float s0, t0, s1, t1;
            orientedTexCoord(o, p[1], 1 - p[0], s0, t0);
            orientedTexCoord(turnedRight(o), p[0], p[1], s1, t1);
            EXPECT_FLOAT_EQ(s0, s1) << o;
            EXPECT_FLOAT_EQ(t0, t1) << o;
            EXPECT_EQ(turnedLeft(turnedRight(o)), o);
        }
}
