// The anaglyph on the processor: the same pixels as the stereo shader drawn by the
// renderer on Mesa, and the views turned and shifted as the image view shows them.
#include "glh.h"

#include "CAnaglyphRenderer.h"
#include "GLSLShader.h"
#include "GLTestContext.h"
#include "anaglyphImage.h"
#include "anaglyphMatrices.h"
#include "orientation.h"

#include <gmock/gmock.h>

#include <cmath>
#include <cstring>
#include <random>
#include <tuple>

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

// The glasses of the renderer's tests: red/cyan both ways round, and two where A's
// dominant primary is green or blue.
struct SGlasses {
    const char* name;
    float a_l, b_l, a_r, b_r, gamma;
};
void PrintTo(const SGlasses& glasses, std::ostream* out) {
    *out << glasses.name;
}
const SGlasses kGlasses[] = {
    {"RedCyan", 0.925951f, 0.0611928f, 0.00942937f, 0.87051f, 1.66804f},
    {"CyanRed", 0.00942937f, 0.87051f, 0.925951f, 0.0611928f, 1.66804f},
    {"GreenMagenta", 0.02f, 0.95f, 0.5f, 0.02f, 2.2f},
    {"YellowBlue", 0.5f, 0.48f, 0.02f, 0.03f, 1.0f},
};

// An RGB picture that owns its pixels.
struct SPicture {
    SPicture(int w, int h) : pixels(size_t(w) * size_t(h) * 3) {
        image.mWidth = w;
        image.mHeight = h;
        image.mPixels = pixels.data();
    }
    uint8_t* at(int x, int y) {
        return &pixels[(size_t(y) * size_t(image.mWidth) + size_t(x)) * 3];
    }
    std::vector<uint8_t> pixels;
    SImage image;
};

const uint8_t* pixelOf(const SImageHandle& image, int x, int y) {
    return image->mPixels + (size_t(y) * size_t(image->mWidth) + size_t(x)) * 3;
}

// Every pair of extreme values, then random colours.
void fill(SPicture& left, SPicture& right, unsigned seed) {
    std::mt19937 rng(seed);
    const size_t n = left.pixels.size();
    for (size_t i = 0; i < n; ++i) {
        const size_t pixel = i / 3;
        if (pixel < 64) {
            left.pixels[i] = pixel & (1u << (i % 3)) ? 255 : 0;
            right.pixels[i] = pixel & (8u << (i % 3)) ? 255 : 0;
        } else {
            left.pixels[i] = uint8_t(rng());
            right.pixels[i] = uint8_t(rng());
        }
    }
}

using GLCase = std::tuple<SGlasses, int, bool, bool>;  // glasses, mode, halos, range

std::string caseName(const testing::TestParamInfo<GLCase>& info) {
    static const char* const modes[] = {"Full", "Half", "Gray"};
    return std::string(std::get<0>(info.param).name) + modes[std::get<1>(info.param)] +
           (std::get<2>(info.param) ? "Halos" : "") + (std::get<3>(info.param) ? "Range" : "");
}

class AnaglyphImageVsGL : public GLTest, public testing::WithParamInterface<GLCase> {
protected:
    void TearDown() override { GLSLShader::destroy(); }
};

}  // namespace

// The GL renderer's read-back is the reference: the CPU composite differs by at most one
// level in any channel, for every pair of extremes and thousands of random colours.
TEST_P(AnaglyphImageVsGL, MatchesTheRenderersReadBack) {
    const auto& [glasses, mode, halos, range] = GetParam();
    const int w = 96, h = 64;
    SPicture left(w, h), right(w, h);
    fill(left, right, 11);

    CAnaglyphRenderer renderer;
    renderer.init(kStereoVs, kStereoFs);
    ASSERT_NE(renderer.program, nullptr);
    CaptureStderr();
    renderer.setFilterParameters(glasses.a_l, glasses.b_l, glasses.a_r, glasses.b_r, glasses.gamma);
    GetCapturedStderr();
    renderer.setRemoveHalos(halos);
    mode == 0 ? renderer.setFullColor() : mode == 1 ? renderer.setHalfColor() : renderer.setGray();
    renderer.setRestrictedRange(range);

    // Rows go up in GL and down in the picture; the same buffer read both ways keeps
    // the pixels in the same places, and nothing here depends on which row is on top.
    TestFramebuffer fb(w, h);
    glActiveTexture(GL_TEXTURE1);
    GLuint textures[2] = {0, uploadRgbTexture(w, h, right.pixels.data())};
    glActiveTexture(GL_TEXTURE0);
    textures[0] = uploadRgbTexture(w, h, left.pixels.data());
    renderer.draw(1, 1);
    const std::vector<uint8_t> drawn = fb.pixels();
    glDeleteTextures(2, textures);

    SAnaglyphSettings settings;
    settings.a_l = glasses.a_l, settings.b_l = glasses.b_l;
    settings.a_r = glasses.a_r, settings.b_r = glasses.b_r;
    settings.gamma = glasses.gamma;
    settings.mMode = mode;
    settings.mRemoveHalos = halos;
    settings.mRestrictedRange = range;
    const SImageHandle cpu = composeAnaglyph(left.image, right.image, settings);
    ASSERT_NE(cpu->mPixels, nullptr);
    ASSERT_EQ(cpu->mWidth, w);
    ASSERT_EQ(cpu->mHeight, h);
    int worst = 0, differing = 0;
    for (size_t i = 0; i < size_t(w * h); ++i)
        for (size_t c = 0; c < 3; ++c) {
            const int d = std::abs(int(cpu->mPixels[i * 3 + c]) - int(drawn[i * 4 + c]));
            EXPECT_LE(d, 1) << "pixel " << i << " channel " << c;
            worst = std::max(worst, d);
            differing += d != 0;
        }
    // Off by one only where the two round a value that lies within a hair of a level's
    // edge; far from every pixel.
    EXPECT_LT(differing, w * h / 20) << "worst " << worst;
}

INSTANTIATE_TEST_SUITE_P(Glasses, AnaglyphImageVsGL,
                         testing::Combine(testing::ValuesIn(kGlasses), testing::Values(0, 1, 2),
                                          testing::Bool(), testing::Bool()),
                         caseName);

namespace {

// Full colour without halo removal at gamma 1 passes the left view's red and the right
// view's green and blue through unchanged, which makes the geometry readable.
SAnaglyphSettings plainChannels() {
    SAnaglyphSettings settings;
    settings.gamma = 1.0f;
    settings.mRemoveHalos = false;
    return settings;
}

}  // namespace

TEST(AnaglyphImage, TurnsBothViewsAsTheViewShowsThem) {
    const int w = 5, h = 3;
    SPicture left(w, h), right(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            left.at(x, y)[0] = uint8_t(10 * y + x);
            right.at(x, y)[1] = uint8_t(100 + 10 * y + x);
        }
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        SAnaglyphSettings settings = plainChannels();
        settings.mOrientation = orientation;
        const SImageHandle out = composeAnaglyph(left.image, right.image, settings);
        const bool sideways = orientation >= 5;
        ASSERT_EQ(out->mWidth, sideways ? h : w);
        ASSERT_EQ(out->mHeight, sideways ? w : h);
        for (int Y = 0; Y < out->mHeight; ++Y)
            for (int X = 0; X < out->mWidth; ++X) {
                // The exporter must turn pictures as the view's texture coordinates do.
                float s, t;
                orientedTexCoord(orientation, (X + 0.5f) / out->mWidth, (Y + 0.5f) / out->mHeight,
                                 s, t);
                const int x = int(s * w), y = int(t * h);
                EXPECT_EQ(pixelOf(out, X, Y)[0], left.at(x, y)[0]) << X << ", " << Y;
                EXPECT_EQ(pixelOf(out, X, Y)[1], right.at(x, y)[1]) << X << ", " << Y;
            }
    }
}

TEST(AnaglyphImage, ShiftMovesTheViewsApartOnTheTurnedPicture) {
    const int w = 8, h = 2;
    SPicture left(w, h), right(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            left.at(x, y)[0] = uint8_t(20 + 20 * x);
            right.at(x, y)[1] = uint8_t(20 + 20 * x);
        }
    SAnaglyphSettings settings = plainChannels();
    settings.mShift = 2;
    SImageHandle out = composeAnaglyph(left.image, right.image, settings);
    for (int X = 0; X < w; ++X) {
        SCOPED_TRACE(X);
        // The left view moved left by two pixels, the right view right by two; black
        // where a view no longer reaches.
        EXPECT_EQ(pixelOf(out, X, 1)[0], X + 2 < w ? 20 + 20 * (X + 2) : 0);
        EXPECT_EQ(pixelOf(out, X, 1)[1], X - 2 >= 0 ? 20 + 20 * (X - 2) : 0);
    }

    // Half a pixel falls between two pixels of each view.
    settings.mShift = -0.5f;
    out = composeAnaglyph(left.image, right.image, settings);
    EXPECT_EQ(pixelOf(out, 0, 0)[0], 20);  // on the view's edge: the edge pixel itself
    EXPECT_EQ(pixelOf(out, 3, 0)[0], 70);  // between 60 and 80
    EXPECT_EQ(pixelOf(out, 3, 0)[1], 90);  // between 80 and 100
    EXPECT_EQ(pixelOf(out, w - 1, 0)[1], 0);

    // A sideways picture is shifted along its shown rows, not its stored ones.
    settings.mShift = 1;
    settings.mOrientation = 6;
    out = composeAnaglyph(left.image, right.image, settings);
    ASSERT_EQ(out->mWidth, h);
    // Shown row Y is stored column Y; shown column X is stored row h - 1 - X.
    EXPECT_EQ(pixelOf(out, 0, 5)[0], left.at(5, 0)[0]);
    EXPECT_EQ(pixelOf(out, 1, 5)[0], 0);
    EXPECT_EQ(pixelOf(out, 1, 5)[1], right.at(5, 1)[1]);
    EXPECT_EQ(pixelOf(out, 0, 5)[1], 0);
}

TEST(AnaglyphImage, TheRightPictureIsStretchedOverTheLeftOne) {
    SPicture left(8, 4), right(4, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            right.at(x, y)[1] = uint8_t(x < 2 ? 40 : 200);
    const SImageHandle out = composeAnaglyph(left.image, right.image, plainChannels());
    ASSERT_EQ(out->mWidth, 8);
    EXPECT_EQ(pixelOf(out, 0, 3)[1], 40);
    EXPECT_EQ(pixelOf(out, 7, 0)[1], 200);
    EXPECT_GT(pixelOf(out, 4, 1)[1], 40);  // interpolated across the step
    EXPECT_LT(pixelOf(out, 4, 1)[1], 200);
}

TEST(AnaglyphImage, ThreadsSplitTheRowsWithoutChangingAPixel) {
    const int w = 301, h = 517;
    SPicture left(w, h), right(w, h);
    fill(left, right, 5);
    SAnaglyphSettings settings;
    settings.mShift = 3.25f;
    settings.mOrientation = 7;
    settings.mThreads = 1;
    const SImageHandle one = composeAnaglyph(left.image, right.image, settings);
    settings.mThreads = 5;
    const SImageHandle five = composeAnaglyph(left.image, right.image, settings);
    ASSERT_EQ(one->mWidth, h);
    EXPECT_EQ(std::memcmp(one->mPixels, five->mPixels, size_t(w) * h * 3), 0);
}

TEST(AnaglyphImage, InPlaceOverTheLeftPictureGivesTheSamePixels) {
    const int w = 203, h = 150;
    SPicture left(w, h), right(w, h);
    fill(left, right, 9);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        SAnaglyphSettings settings;
        settings.mOrientation = orientation;
        settings.mShift = orientation == 1 ? 0.0f : -2.5f;
        settings.mThreads = 3;
        // Only where every row stays in its place; turned or flipped rows would be read
        // after the composite has written over them.
        ASSERT_EQ(anaglyphFitsInPlace(settings), orientation <= 2);
        if (orientation > 2)
            continue;
        const SImageHandle fresh = composeAnaglyph(left.image, right.image, settings);
        SPicture copy = left;
        copy.image.mPixels = copy.pixels.data();
        ASSERT_TRUE(composeAnaglyphInto(copy.image, right.image, settings, copy.pixels.data()));
        EXPECT_EQ(std::memcmp(fresh->mPixels, copy.pixels.data(), copy.pixels.size()), 0);
    }
}

TEST(AnaglyphImage, AgreesWithTheShadersArithmeticInDoublePrecision) {
    // compositePixel computes one pixel as the shader does, in double precision; the
    // tables may round a value next to a level's edge the other way, nothing more.
    std::mt19937 rng(3);
    for (const SGlasses& g : kGlasses) {
        for (int mode = 0; mode < 3; ++mode) {
            SCOPED_TRACE(std::string(g.name) + std::to_string(mode));
            const SAnaglyphMatrices m =
                computeAnaglyphMatrices(g.a_l, g.b_l, g.a_r, g.b_r, g.gamma);
            SPicture left(256, 64), right(256, 64);
            fill(left, right, rng());
            SAnaglyphSettings settings;
            settings.a_l = g.a_l, settings.b_l = g.b_l, settings.a_r = g.a_r, settings.b_r = g.b_r;
            settings.gamma = g.gamma;
            settings.mMode = mode;
            const SImageHandle out = composeAnaglyph(left.image, right.image, settings);
            int differing = 0;
            for (size_t i = 0; i < 256 * 64; ++i) {
                const auto expected =
                    compositePixel(m.mFc[1][mode], m.mFiltL[1][mode], kFullRangeMapping.data(),
                                   m.mRoles.mSwapped, &left.pixels[i * 3], &right.pixels[i * 3]);
                for (size_t c = 0; c < 3; ++c) {
                    const int d = std::abs(int(out->mPixels[i * 3 + c]) - int(expected[c]));
                    ASSERT_LE(d, 1) << "pixel " << i << " channel " << c;
                    differing += d;
                }
            }
            // The re-encoding table rounds values within 1/8192 of an octave of a
            // level's edge either way: a few in a thousand.
            EXPECT_LT(differing, 256 * 64 * 3 / 200);
        }
    }
}

TEST(AnaglyphImage, PicturesThatAreNoRgbGiveTheFailureRecord) {
    SPicture left(4, 4), right(4, 4);
    SImage gray = left.image;
    gray.mChannels = 1;
    CaptureStderr();
    EXPECT_EQ(composeAnaglyph(gray, right.image, SAnaglyphSettings())->mPixels, nullptr);
    EXPECT_EQ(composeAnaglyph(left.image, SImage(), SAnaglyphSettings())->mPixels, nullptr);
    EXPECT_THAT(GetCapturedStderr(), testing::HasSubstr("WARNING"));
}
