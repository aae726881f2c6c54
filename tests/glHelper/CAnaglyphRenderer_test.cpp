// The anaglyph renderer and the built-in shader texts on real GL: two small view
// textures are composited into a framebuffer object and every expectation is checked
// on the pixels read back from it.
#include "diagnostics.h"
#include "glh.h"

#include "CAnaglyphRenderer.h"
#include "GLSLProgram.h"
#include "GLSLShader.h"
#include "GLTestContext.h"
#include "anaglyphMatrices.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <tuple>

using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

const float kGamma = 1.66804f;
// Read-back pixels, linearised, agree with the expected light within this.
const double kLinearTolerance = 2.0 / 255.0;

using RGB8 = std::array<uint8_t, 3>;
using Colour = std::array<double, 3>;

// These tests read the console's informational lines, which show only when verbose.
[[maybe_unused]] static const bool kConsoleVerbose = (setConsoleVerbose(true), true);

struct SGlasses {
    const char* name;
    float a_l, b_l, a_r, b_r;
    bool swapped;  // the right filter is A, whose eye gets the luminance
    int J;         // A's dominant primary

    Colour filter(bool right) const {
        const float a = right ? a_r : a_l, b = right ? b_r : b_l;
        return {a, b, 1.0 - double(a) - double(b)};
    }
    Colour filterA() const { return filter(swapped); }
    Colour filterB() const { return filter(!swapped); }
};

const SGlasses kGlasses[] = {
    {"RedCyan", 0.925951f, 0.0611928f, 0.00942937f, 0.87051f, false, 0},
    {"CyanRed", 0.00942937f, 0.87051f, 0.925951f, 0.0611928f, true, 0},
    {"GreenMagenta", 0.02f, 0.95f, 0.5f, 0.02f, false, 1},
    {"YellowBlue", 0.5f, 0.48f, 0.02f, 0.03f, true, 2},
};
const SGlasses& kDefaultGlasses = kGlasses[0];

double dot(const Colour& a, const Colour& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

Colour linear(const uint8_t* c, double gamma) {
    return {std::pow(c[0] / 255.0, gamma), std::pow(c[1] / 255.0, gamma),
            std::pow(c[2] / 255.0, gamma)};
}

// One view: a colour per texel, bottom row first.
struct SView {
    int width, height;
    std::vector<RGB8> texels;

    SView(int w, int h, RGB8 fill = {0, 0, 0}) : width(w), height(h), texels(size_t(w * h), fill) {}
    RGB8& at(int x, int y) { return texels[size_t(y * width + x)]; }
};

GLuint uploadView(const SView& view) {
    return uploadRgbTexture(view.width, view.height, view.texels.data());
}

// Puts the left view on unit 0 and the right view on unit 1, as a stereo frame leaves
// them, runs draw into a framebuffer of the views' size cleared to magenta, and
// returns its pixels, bottom row first.
std::vector<RGBA> drawViews(const SView& left, const SView& right,
                            const std::function<void()>& draw) {
    TestFramebuffer fb(left.width, left.height);
    glActiveTexture(GL_TEXTURE1);
    GLuint textures[2] = {0, uploadView(right)};
    glActiveTexture(GL_TEXTURE0);
    textures[0] = uploadView(left);
    glClearColor(1, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    draw();
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
    glDeleteTextures(2, textures);
    const std::vector<uint8_t> bytes = fb.pixels();
    std::vector<RGBA> pixels(bytes.size() / 4);
    std::memcpy(pixels.data(), bytes.data(), bytes.size());
    return pixels;
}

std::vector<RGBA> composite(CAnaglyphRenderer& renderer, const SView& left, const SView& right,
                            float s = 1, float t = 1) {
    return drawViews(left, right, [&] { renderer.draw(s, t); });
}

void expectNear(const RGBA& pixel, const RGB8& expected) {
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(pixel[c], expected[c], 1) << "channel " << c;
}

// Passes the parameters as the calibration does, keeping the print-out off the test
// log and the stream's number format as it was.
std::string setFilters(CAnaglyphRenderer& renderer, const SGlasses& g, float gamma) {
    const std::ios::fmtflags flags = std::cerr.flags();
    const std::streamsize precision = std::cerr.precision();
    CaptureStderr();
    renderer.setFilterParameters(g.a_l, g.b_l, g.a_r, g.b_r, gamma);
    std::cerr.flags(flags);
    std::cerr.precision(precision);
    return GetCapturedStderr();
}

void setMode(CAnaglyphRenderer& renderer, int mode) {
    mode == 0 ? renderer.setFullColor() : mode == 1 ? renderer.setHalfColor() : renderer.setGray();
}

// The fixtures' common start: a current context, the stereo program built from the
// shader files, and the filters set.
#define startRenderer(renderer, glassesToUse, gamma)     \
    do {                                                 \
        GLTest::SetUp();                                 \
        if (HasFatalFailure())                           \
            return;                                      \
        (renderer).init(kStereoVs, kStereoFs);           \
        ASSERT_NE((renderer).program, nullptr);          \
        setFilters((renderer), (glassesToUse), (gamma)); \
    } while (0)

class AnaglyphRenderer : public GLTest {
protected:
    void SetUp() override { startRenderer(renderer, kDefaultGlasses, 1.0f); }
    void TearDown() override { GLSLShader::destroy(); }

    CAnaglyphRenderer renderer;
    // (0.8, 0.1, 0.1) and (0.2, 0.6, 0.4).
    const SView left{2, 2, {204, 26, 26}}, right{2, 2, {51, 153, 102}};
};

}  // namespace

TEST_F(AnaglyphRenderer, PrintsTheFilterParametersAndLeavesTheStreamFormatAlone) {
    const std::ios::fmtflags flags = std::cerr.flags();
    const std::streamsize precision = std::cerr.precision();
    CaptureStderr();
    renderer.setFilterParameters(0.925951f, 0.0611928f, 0.00942937f, 0.87051f, 1.66804f);
    std::cerr << 0.5f << '\n';
    EXPECT_EQ(GetCapturedStderr(),
              "Filter Parameters\n"
              "a_l    b_l    a_r    b_r    gamma\n"
              "0.9260 0.0612 0.0094 0.8705 1.6680\n"
              "0.5\n");
    std::cerr.flags(flags);
    std::cerr.precision(precision);
}

TEST_F(AnaglyphRenderer, WithoutHaloRemovalChannelJComesFromTheViewBehindA) {
    renderer.setRemoveHalos(false);
    EXPECT_FALSE(renderer.swapped);
    expectNear(composite(renderer, left, right)[3], {204, 153, 102});
    // The same glasses worn the other way round: red comes from the right view.
    setFilters(renderer, kGlasses[1], 1.0f);
    EXPECT_TRUE(renderer.swapped);
    expectNear(composite(renderer, left, right)[3], {51, 26, 26});
}

TEST_F(AnaglyphRenderer, ModeAndHaloSwitchesTakeEffectAtTheNextDraw) {
    renderer.setRemoveHalos(false);
    // Gray: red carries the left view's luminance, 0.2491, green and blue both the
    // right view's, 0.5005.
    renderer.setGray();
    expectNear(composite(renderer, left, right)[0], {64, 128, 128});
    // Half colour: the right view's red (0.2) brightens green and blue, which give up
    // what they weigh above it: both shift by -0.0812.
    renderer.setHalfColor();
    expectNear(composite(renderer, left, right)[0], {64, 132, 81});
    renderer.setFullColor();
    expectNear(composite(renderer, left, right)[0], {204, 153, 102});
    renderer.setRemoveHalos(true);
    const RGBA pixel = composite(renderer, left, right)[0];
    EXPECT_GT(std::abs(pixel[0] - 204), 4);
    const Colour A = kDefaultGlasses.filterA();
    EXPECT_NEAR(dot(A, linear(pixel.data(), 1)), dot(A, linear(left.texels[0].data(), 1)),
                kLinearTolerance);
}

TEST_F(AnaglyphRenderer, DrawsTheGivenFractionOfTheViews) {
    renderer.setRemoveHalos(false);
    SView left(16, 16), right(16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            left.at(x, y) = {uint8_t(x * 16), 0, 0};
            right.at(x, y) = {0, uint8_t(x * 16 + 1), uint8_t(y * 16 + 2)};
        }
    // Half the width and a quarter of the height stretched over the whole viewport.
    const std::vector<RGBA> drawn = composite(renderer, left, right, 0.5f, 0.25f);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            SCOPED_TRACE(testing::Message() << "pixel " << x << ", " << y);
            expectNear(drawn[size_t(y * 16 + x)],
                       {uint8_t(x / 2 * 16), uint8_t(x / 2 * 16 + 1), uint8_t(y / 4 * 16 + 2)});
        }
}

TEST_F(AnaglyphRenderer, LeavesTheFixedFunctionStateAsItFoundIt) {
    drawViews(left, right, [&] {
        glMatrixMode(GL_PROJECTION);
        glOrtho(-2, 3, -4, 5, -6, 7);
        glMatrixMode(GL_MODELVIEW);
        glTranslatef(1, 2, 3);
        GLfloat projection[16], modelView[16], after[16];
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
        glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
        GLint right = 0, value = -1;
        glActiveTexture(GL_TEXTURE1);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &right);
        glActiveTexture(GL_TEXTURE0);

        CaptureStderr();
        renderer.draw(1, 1);
        EXPECT_EQ(GetCapturedStderr(), "");  // no GLError lines
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

        glGetIntegerv(GL_CURRENT_PROGRAM, &value);
        EXPECT_EQ(value, 0);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
        EXPECT_EQ(value, 0);
        glActiveTexture(GL_TEXTURE1);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
        EXPECT_EQ(value, right);
        glActiveTexture(GL_TEXTURE0);
        glGetIntegerv(GL_MATRIX_MODE, &value);
        EXPECT_EQ(value, GL_MODELVIEW);
        glGetFloatv(GL_PROJECTION_MATRIX, after);
        EXPECT_THAT(after, testing::Pointwise(testing::FloatEq(), projection));
        glGetFloatv(GL_MODELVIEW_MATRIX, after);
        EXPECT_THAT(after, testing::Pointwise(testing::FloatEq(), modelView));
        glLoadIdentity();
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
    });
}

TEST_F(AnaglyphRenderer, EqualDominantSharesWarnOnceAndDrawWithoutHaloRemoval) {
    // Both filters pass 0.6 of red.
    const std::string text = setFilters(renderer, {"", 0.6f, 0.3f, 0.6f, 0.1f, false, 0}, 1.0f);
    EXPECT_THAT(text, HasSubstr("src/glHelper/CAnaglyphRenderer.cpp("));
    EXPECT_THAT(text, HasSubstr(") WARNING: "));
    EXPECT_EQ(text.find("WARNING"), text.rfind("WARNING"));
    ASSERT_TRUE(renderer.removeHalos);
    CaptureStderr();
    for (int mode = 0; mode < 3; ++mode) {
        SCOPED_TRACE(mode);
        setMode(renderer, mode);
        const RGBA withHalos = composite(renderer, left, right)[0];
        renderer.setRemoveHalos(false);
        EXPECT_EQ(withHalos, composite(renderer, left, right)[0]);
        renderer.setRemoveHalos(true);
    }
    EXPECT_EQ(GetCapturedStderr(), "");  // not once per frame

    // Usable glasses bring halo removal back without touching the switch.
    EXPECT_THAT(setFilters(renderer, kDefaultGlasses, 1.0f), testing::Not(HasSubstr("WARNING")));
    renderer.setFullColor();
    EXPECT_GT(std::abs(composite(renderer, left, right)[0][0] - 204), 4);
}

TEST_F(AnaglyphRenderer, RestrictedRangeFollowsTheParametersWhenSwitched) {
    renderer.setRestrictedRange(true);
    EXPECT_THAT(renderer.mapCol, testing::Pointwise(testing::FloatNear(2e-4f),
                                                    {0.8518f, 0.0741f, 0.9812f, 0.0094f}));
    const std::vector<float> redCyan(renderer.mapCol, renderer.mapCol + 4);
    // New glasses change the roles at once but the mapping only with the switch.
    setFilters(renderer, kGlasses[3], kGamma);
    EXPECT_TRUE(renderer.swapped);
    renderer.setRestrictedRange(true);
    EXPECT_THAT(renderer.mapCol, testing::ElementsAreArray(redCyan));
    renderer.setRestrictedRange(false);
    EXPECT_THAT(renderer.mapCol, testing::ElementsAre(1.0f, 0.0f, 1.0f, 0.0f));
    renderer.setRestrictedRange(true);
    // Blue is dominant in the yellow-blue glasses' A filter, which passes 0.95 of it.
    EXPECT_NEAR(renderer.mapCol[1], 0.05, 1e-6);
    EXPECT_NEAR(renderer.mapCol[3], 0.02, 1e-6);
}

TEST_F(AnaglyphRenderer, WithoutShaderSourcesNothingIsDrawn) {
    CAnaglyphRenderer bare;
    bare.setRestrictedRange(true);
    bare.init(nullptr, "x.fs");
    EXPECT_EQ(bare.program, nullptr);
    EXPECT_THAT(bare.mapCol, testing::ElementsAre(1.0f, 0.0f, 1.0f, 0.0f));
    CaptureStderr();
    EXPECT_EQ(composite(bare, left, right)[0], (RGBA{255, 0, 255, 255}));
    EXPECT_EQ(GetCapturedStderr(), "");
}

TEST_F(AnaglyphRenderer, UnloadableShadersSaySoAndLeaveTheDecisionToTheHost) {
    CAnaglyphRenderer broken;
    CaptureStderr();
    EXPECT_FALSE(broken.init("no-such-stereo.vs", "no-such-stereo.fs"));
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("Error loading shaders.\n"));
    EXPECT_EQ(broken.program, nullptr);
}

// Halo removal on drawn pixels: for each pair of views, the framebuffer's colour seen
// through filter A carries exactly the luminance of the A view, and seen through
// filter B what filter B would pass of the B view alone (in half colour and gray: its
// luminance). Both after the range mapping.
namespace {

using HaloCase = std::tuple<SGlasses, int>;  // glasses, colour mode

std::string haloCaseName(const testing::TestParamInfo<HaloCase>& info) {
    static const char* const modes[] = {"Full", "Half", "Gray"};
    return std::string(std::get<0>(info.param).name) + modes[std::get<1>(info.param)];
}

// What the stereo shader computes for one pixel before clamping, only to pick inputs
// whose result the framebuffer does not clip.
Colour shaderResult(const CAnaglyphRenderer& r, const RGB8& unit0, const RGB8& unit1) {
    const int h = r.removeHalos ? 1 : 0;
    const float* filtL = r.filtL[h][r.mode];
    const float* fc = r.fc[h][r.mode];
    const Colour cl = linear((r.swapped ? unit1 : unit0).data(), filtL[3]);
    const Colour cr = linear((r.swapped ? unit0 : unit1).data(), filtL[3]);
    const double in[4] = {cr[0] * r.mapCol[2] + r.mapCol[3], cr[1] * r.mapCol[2] + r.mapCol[3],
                          cr[2] * r.mapCol[2] + r.mapCol[3],
                          dot(cl, {filtL[0], filtL[1], filtL[2]}) * r.mapCol[0] + r.mapCol[1]};
    Colour out{};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col)
            out[size_t(row)] += fc[col * 4 + row] * in[col];
    return out;
}

class AnaglyphHaloRemoval : public GLTest, public testing::WithParamInterface<HaloCase> {
protected:
    void SetUp() override {
        startRenderer(renderer, glasses, kGamma);
        if (HasFatalFailure())
            return;
        ASSERT_EQ(renderer.swapped, glasses.swapped);
        setMode(renderer, mode);
    }
    void TearDown() override { GLSLShader::destroy(); }

    RGB8 randomColour() { return {uint8_t(mRng()), uint8_t(mRng()), uint8_t(mRng())}; }

    void drawAndCheck(const SView& left, const SView& right) {
        const Colour A = glasses.filterA(), B = glasses.filterB();
        const Colour weightsA = mode == 0 ? A : Colour{kLumR, kLumG, kLumB};
        const int J = glasses.J, K = (J + 1) % 3, M = (J + 2) % 3;
        const float* map = renderer.mapCol;
        const std::vector<RGBA> drawn = composite(renderer, left, right);
        for (size_t i = 0; i < drawn.size(); ++i) {
            const Colour viewA = linear((glasses.swapped ? right : left).texels[i].data(), kGamma);
            const Colour viewB = linear((glasses.swapped ? left : right).texels[i].data(), kGamma);
            const Colour seen = linear(drawn[i].data(), kGamma);
            const double seenB =
                mode == 0 ? dot(B, viewB) : kLumR * viewB[J] + kLumG * viewB[K] + kLumB * viewB[M];
            EXPECT_NEAR(dot(A, seen), dot(weightsA, viewA) * map[0] + map[1], kLinearTolerance)
                << "pixel " << i;
            EXPECT_NEAR(dot(B, seen), seenB * map[2] + map[3], kLinearTolerance) << "pixel " << i;
        }
    }

    const SGlasses& glasses = std::get<0>(GetParam());
    const int mode = std::get<1>(GetParam());
    CAnaglyphRenderer renderer;
    std::mt19937 mRng{7};
};

}  // namespace

TEST_P(AnaglyphHaloRemoval, EachFilterSeesOnlyItsOwnView) {
    SView left(16, 16), right(16, 16);
    size_t found = 0;
    for (int attempt = 0; attempt < 100000 && found < left.texels.size(); ++attempt) {
        const RGB8 l = randomColour(), r = randomColour();
        const Colour out = shaderResult(renderer, l, r);
        if (*std::min_element(out.begin(), out.end()) >= 0.01 &&
            *std::max_element(out.begin(), out.end()) <= 0.99) {
            left.texels[found] = l;
            right.texels[found++] = r;
        }
    }
    ASSERT_EQ(found, left.texels.size());
    drawAndCheck(left, right);
}

INSTANTIATE_TEST_SUITE_P(AnaglyphGlasses, AnaglyphHaloRemoval,
                         testing::Combine(testing::ValuesIn(kGlasses), testing::Values(0, 1, 2)),
                         haloCaseName);

// With the range restricted, full colour and gray stay inside what the screen can
// show for any pair, black and white included, so no pair needs to be left out.
class AnaglyphRestrictedRange : public AnaglyphHaloRemoval {};

TEST_P(AnaglyphRestrictedRange, EveryPairStaysSeparable) {
    renderer.setRestrictedRange(true);
    SView left(16, 16), right(16, 16);
    // First the corners of the colour cube against black and white: the extremes of
    // the linear map.
    for (size_t i = 0; i < left.texels.size(); ++i) {
        const uint8_t white = i & 8 ? 255 : 0;
        left.texels[i] = i < 16 ? RGB8{white, white, white} : randomColour();
        right.texels[i] = i < 16 ? RGB8{uint8_t(i & 1 ? 255 : 0), uint8_t(i & 2 ? 255 : 0),
                                        uint8_t(i & 4 ? 255 : 0)}
                                 : randomColour();
    }
    drawAndCheck(left, right);
}

INSTANTIATE_TEST_SUITE_P(AnaglyphGlasses, AnaglyphRestrictedRange,
                         testing::Combine(testing::ValuesIn(kGlasses), testing::Values(0, 2)),
                         haloCaseName);

// The built-in stereo and gray programs with uniforms of the test's choosing.
namespace {

class AnaglyphShaders : public GLTest {
protected:
    void TearDown() override { GLSLShader::destroy(); }

    // Builds stereo.vs/stereo.fs, makes it current and sets its uniforms; fc given row by
    // row.
    bool useStereo(const std::array<float, 16>& rows, const std::array<float, 4>& filtL,
                   const std::array<float, 4>& mapCol) {
        if (!useProgram(kStereoVs, kStereoFs))
            return false;
        float columns[16];
        for (int i = 0; i < 16; ++i)
            columns[i % 4 * 4 + i / 4] = rows[size_t(i)];
        glUniform1i(glGetUniformLocation(mId, "texL"), 0);
        glUniform1i(glGetUniformLocation(mId, "texR"), 1);
        glUniform4fv(glGetUniformLocation(mId, "filtL"), 1, filtL.data());
        glUniform4fv(glGetUniformLocation(mId, "mapCol"), 1, mapCol.data());
        glUniformMatrix4fv(glGetUniformLocation(mId, "fc"), 1, GL_FALSE, columns);
        return true;
    }
    bool useProgram(const char* vertex, const char* fragment) {
        GLSLProgram* program = GLSLShader::instance().createAndBuild({vertex}, {fragment});
        mId = program ? program->id.get() : 0;
        glUseProgram(mId);
        return program != nullptr;
    }

    // One quad over the whole framebuffer with the program.
    std::vector<RGBA> draw(const SView& left, const SView& right) {
        return drawViews(left, right, [this] {
            glUseProgram(mId);
            glBegin(GL_QUADS);
            const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
            for (const float* st : corners) {
                glTexCoord2f(st[0], st[1]);
                glVertex2f(2 * st[0] - 1, 2 * st[1] - 1);
            }
            glEnd();
            glUseProgram(0);
        });
    }

    GLuint mId = 0;
};

}  // namespace

TEST_F(AnaglyphShaders, IdentityPassesTheRightViewUnchanged) {
    ASSERT_TRUE(
        useStereo({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, {1, 0, 0, 1}, {1, 0, 1, 0}));
    SView left(8, 8), right(8, 8);
    std::mt19937 rng(3);
    for (size_t i = 0; i < left.texels.size(); ++i) {
        left.texels[i] = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
        right.texels[i] = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
    }
    const std::vector<RGBA> drawn = draw(left, right);
    for (size_t i = 0; i < drawn.size(); ++i) {
        SCOPED_TRACE(i);
        expectNear(drawn[i], right.texels[i]);
        EXPECT_EQ(drawn[i][3], 255);
    }
}

TEST_F(AnaglyphShaders, LinearisesBeforeTheMatrixAndReencodesAfterIt) {
    // Gamma 2. Red is the left view's luminance (its red here), green and blue are the
    // right view's; mapCol's offsets add 0.25 of linear light to all of them.
    ASSERT_TRUE(useStereo({0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0}, {1, 0, 0, 2},
                          {1, 0.25f, 1, 0.25f}));
    const std::vector<RGBA> drawn = draw(SView(2, 2, {128, 0, 0}), SView(2, 2, {0, 128, 0}));
    const double half = 128 / 255.0;                              // 0.2520 linear
    const double expected = std::sqrt(half * half + 0.25) * 255;  // 180.7, not 191.8
    EXPECT_NEAR(drawn[0][0], expected, 1.0);
    EXPECT_NEAR(drawn[0][1], expected, 1.0);
    EXPECT_NEAR(drawn[0][2], 0.5 * 255, 1.0);
}

TEST_F(AnaglyphShaders, NegativeComponentsDrawAsBlack) {
    // Red: minus the right view's red; green: minus half the left luminance.
    ASSERT_TRUE(useStereo({-1, 0, 0, 0, 0, 0, 0, -0.5f, 0, 0, 1, 0, 0, 0, 0, 0},
                          {0.3f, 0.3f, 0.4f, 1.7f}, {1, 0, 1, 0}));
    expectNear(draw(SView(2, 2, {200, 100, 50}), SView(2, 2, {180, 90, 70}))[3], {0, 0, 70});
}

TEST_F(AnaglyphShaders, GrayProgramWeighsTheChannels) {
    ASSERT_TRUE(useProgram(kGrayVs, kGrayFs));
    glUniform1i(glGetUniformLocation(mId, "tex"), 0);
    SView view(3, 1);
    view.texels = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    const std::vector<RGBA> drawn = draw(view, view);
    const double weights[3] = {0.3, 0.59, 0.11};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(drawn[i][0], weights[i] * 255, 1.0);  // pure red: 76.5
        EXPECT_EQ(drawn[i], (RGBA{drawn[i][0], drawn[i][0], drawn[i][0], 255}));
    }
}
