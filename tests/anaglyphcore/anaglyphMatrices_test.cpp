// The anaglyph arithmetic without a GL context: filter roles, range mapping, and what
// each colour matrix lets each eye see. CAnaglyphRenderer_test.cpp checks the same
// on drawn pixels.
#include "anaglyphMatrices.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

namespace {

using Colour = std::array<double, 3>;

struct SGlasses {
    const char* name;
    float a_l, b_l, a_r, b_r;
    bool swapped;
    int J;
};

void PrintTo(const SGlasses& g, std::ostream* os) {
    *os << g.name;
}

// The calibration's defaults (red left, cyan right), the same filters on the other
// eyes, glasses whose dominant primary is green or blue, and a filter whose largest
// fractions tie.
const SGlasses kGlasses[] = {
    {"RedCyan", 0.925951f, 0.0611928f, 0.00942937f, 0.87051f, false, 0},
    {"CyanRed", 0.00942937f, 0.87051f, 0.925951f, 0.0611928f, true, 0},
    {"GreenMagenta", 0.02f, 0.95f, 0.5f, 0.02f, false, 1},
    {"YellowBlue", 0.5f, 0.48f, 0.02f, 0.03f, true, 2},
    {"TiedRedGreen", 0.4f, 0.4f, 0.00942937f, 0.87051f, false, 0},
};

// The shader's product fc * (r0, r1, r2, y) with fc stored column by column.
Colour apply(const float* fc, const Colour& r, double y) {
    Colour out{};
    for (int row = 0; row < 3; ++row)
        out[size_t(row)] =
            fc[row] * r[0] + fc[4 + row] * r[1] + fc[8 + row] * r[2] + fc[12 + row] * y;
    return out;
}

double dot(const Colour& a, const Colour& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

class AnaglyphMatrixProperties : public testing::TestWithParam<SGlasses> {
protected:
    void SetUp() override {
        tables = computeAnaglyphMatrices(g.a_l, g.b_l, g.a_r, g.b_r, 1.66804f);
        ASSERT_FALSE(tables.mDegenerate);
        ASSERT_EQ(roles.mSwapped, g.swapped);
        ASSERT_EQ(roles.mJ, g.J);
    }
    // Anywhere in [0, 1] and a little outside: the matrices are linear everywhere.
    Colour randomColour() { return {u(rng), u(rng), u(rng)}; }
    // Luminance with the weights attached to the positions J, K, M.
    double luminance(const Colour& c) const {
        return kLumR * c[size_t(J)] + kLumG * c[size_t(K)] + kLumB * c[size_t(M)];
    }

    const SGlasses& g = GetParam();
    SAnaglyphMatrices tables;
    const SFilterRoles& roles = tables.mRoles;
    const int &J = roles.mJ, &K = roles.mK, &M = roles.mM;
    std::mt19937 rng{20240611};
    std::uniform_real_distribution<double> u{-0.2, 1.2};
};

}  // namespace

TEST(AnaglyphRoles, LuminanceGoesToTheMoreSelectiveFilter) {
    for (const SGlasses& g : kGlasses) {
        SCOPED_TRACE(g.name);
        const SFilterRoles roles = chooseFilterRoles(g.a_l, g.b_l, g.a_r, g.b_r);
        EXPECT_EQ(roles.mSwapped, g.swapped);
        EXPECT_EQ(roles.mJ, g.J);
        EXPECT_EQ(roles.mK, (g.J + 1) % 3);
        EXPECT_EQ(roles.mM, (g.J + 2) % 3);
        const Colour left{g.a_l, g.b_l, 1.0 - double(g.a_l) - double(g.b_l)};
        const Colour right{g.a_r, g.b_r, 1.0 - double(g.a_r) - double(g.b_r)};
        EXPECT_EQ(roles.mA, g.swapped ? right : left);
        EXPECT_EQ(roles.mB, g.swapped ? left : right);
    }
}

TEST(AnaglyphRoles, TiesKeepTheLowerChannelAndTheLeftFilter) {
    // Green and blue tie (red and green tie in the glasses above).
    const SFilterRoles greenBlue = chooseFilterRoles(0.25f, 0.375f, 0.5f, 0.3f);
    EXPECT_FALSE(greenBlue.mSwapped);
    EXPECT_EQ(greenBlue.mJ, 1);
    // Equally selective filters: the left one keeps the luminance.
    EXPECT_FALSE(chooseFilterRoles(0.3f, 0.3f, 0.3f, 0.3f).mSwapped);
}

TEST(AnaglyphRange, RestrictedRangeFollowsTheRolesNotTheSides) {
    const std::array<float, 4> m = restrictedRangeMapping(
        chooseFilterRoles(kGlasses[0].a_l, kGlasses[0].b_l, kGlasses[0].a_r, kGlasses[0].b_r));
    EXPECT_NEAR(m[0], 0.8518, 2e-4);
    EXPECT_NEAR(m[1], 0.0741, 2e-4);
    EXPECT_NEAR(m[2], 0.9812, 2e-4);
    EXPECT_NEAR(m[3], 0.0094, 2e-4);
    EXPECT_EQ(restrictedRangeMapping(chooseFilterRoles(kGlasses[1].a_l, kGlasses[1].b_l,
                                                       kGlasses[1].a_r, kGlasses[1].b_r)),
              m);
}

TEST_P(AnaglyphMatrixProperties, WithoutHaloRemovalEachViewFillsItsOwnChannels) {
    for (int i = 0; i < 100; ++i) {
        const Colour r = randomColour();
        const double y = u(rng);
        // In full colour y is the A view's channel J itself.
        const float* filtL = tables.mFiltL[0][0];
        EXPECT_EQ(dot({filtL[0], filtL[1], filtL[2]}, r), r[J]);
        const Colour full = apply(tables.mFc[0][0], r, y);
        EXPECT_NEAR(full[J], y, 1e-6);
        EXPECT_NEAR(full[K], r[K], 1e-6);
        EXPECT_NEAR(full[M], r[M], 1e-6);
        const Colour gray = apply(tables.mFc[0][2], r, y);
        EXPECT_NEAR(gray[J], y, 1e-6);
        EXPECT_NEAR(gray[K], luminance(r), 1e-6);
        EXPECT_NEAR(gray[M], luminance(r), 1e-6);
        // Half colour moves channel J of the B view into K and M alike, keeping what K
        // and M together weigh in luminance.
        const Colour half = apply(tables.mFc[0][1], r, y);
        EXPECT_NEAR(half[J], y, 1e-6);
        EXPECT_NEAR(half[K] - r[K], half[M] - r[M], 1e-6);
        EXPECT_NEAR((kLumG * half[K] + kLumB * half[M]) / (kLumG + kLumB), luminance(r), 1e-6);
    }
}

TEST_P(AnaglyphMatrixProperties, HaloRemovalCancelsTheCrosstalkThroughEachFilter) {
    for (int i = 0; i < 100; ++i) {
        const Colour r = randomColour();
        const double y = u(rng);
        const Colour full = apply(tables.mFc[1][0], r, y);
        EXPECT_NEAR(dot(roles.mA, full), y, 2e-6);
        EXPECT_NEAR(dot(roles.mB, full), dot(roles.mB, r), 2e-6);
        for (int mode : {1, 2}) {
            SCOPED_TRACE(mode);
            const Colour out = apply(tables.mFc[1][mode], r, y);
            EXPECT_NEAR(dot(roles.mA, out), y, 2e-6);
            EXPECT_NEAR(dot(roles.mB, out), luminance(r), 2e-6);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AnaglyphGlasses, AnaglyphMatrixProperties, testing::ValuesIn(kGlasses),
                         [](const testing::TestParamInfo<SGlasses>& info) {
                             return std::string(info.param.name);
                         });

TEST(AnaglyphDegenerateFilters, EqualDominantSharesFallBackToPlainComposition) {
    // Both filters pass 0.6 of red; then identical filters; then shares that differ by
    // one float step of the parameters.
    for (const SGlasses& g :
         {SGlasses{"", 0.6f, 0.3f, 0.6f, 0.1f, false, 0},
          SGlasses{"", 0.7f, 0.2f, 0.7f, 0.2f, false, 0},
          SGlasses{"", 0.6f, 0.3f, std::nextafter(0.6f, 1.0f), 0.1f, false, 0}}) {
        const SAnaglyphMatrices m = computeAnaglyphMatrices(g.a_l, g.b_l, g.a_r, g.b_r, 1.0f);
        EXPECT_TRUE(m.mDegenerate);
        EXPECT_EQ(std::memcmp(m.mFc[1], m.mFc[0], sizeof m.mFc[0]), 0);
        EXPECT_EQ(std::memcmp(m.mFiltL[1], m.mFiltL[0], sizeof m.mFiltL[0]), 0);
        for (float e : m.mFc[0][0])
            EXPECT_TRUE(std::isfinite(e));
    }
}

TEST(AnaglyphDegenerateFilters, PoorButUsableGlassesKeepHaloRemoval) {
    const SAnaglyphMatrices m = computeAnaglyphMatrices(0.6f, 0.3f, 0.59f, 0.1f, 1.0f);
    ASSERT_FALSE(m.mDegenerate);
    const Colour r{0.3, 0.5, 0.2};
    const Colour out = apply(m.mFc[1][0], r, 0.4);
    EXPECT_NEAR(dot(m.mRoles.mA, out), 0.4, 1e-4);
    EXPECT_NEAR(dot(m.mRoles.mB, out), dot(m.mRoles.mB, r), 1e-4);
}
