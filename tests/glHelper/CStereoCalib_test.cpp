// The calibration object without its screen: keys, new patches and predicted levels,
// the fit's report, and the calibration file in a working directory of its own.
#include "diagnostics.h"
#include "glHelper.h"

#include "CStereoCalib.h"
#include "GLTestContext.h"
#include "scopedenv.h"
#include "tempfolder.h"

#include <gmock/gmock.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iomanip>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using testing::ContainsRegex;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// These tests read the console's informational lines, which show only when verbose.
[[maybe_unused]] static const bool kConsoleVerbose = (setConsoleVerbose(true), true);

namespace {

std::string stderrOf(const std::function<void()>& action) {
    CaptureStderr();
    action();
    return GetCapturedStderr();
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// r, g, b and level of every patch of one eye, for comparing whole lists.
std::vector<std::array<int, 4>> listOf(const CStereoCalib& calib, int eye) {
    std::vector<std::array<int, 4>> list;
    for (const SCalibPatch& p : calib.mPatches[eye])
        list.push_back({p.r, p.g, p.b, p.level});
    return list;
}

const std::vector<std::array<int, 4>> kRgb128 = {
    {255, 0, 0, 128}, {0, 255, 0, 128}, {0, 0, 255, 128}};

// Runs a test inside a fresh temporary working directory, where the file goes.
class InTempFolder {
public:
    InTempFolder() {
        char buffer[4096];
        mOld = getcwd(buffer, sizeof buffer) ? buffer : ".";
        EXPECT_EQ(chdir(mFolder.path().c_str()), 0);
    }
    ~InTempFolder() { EXPECT_EQ(chdir(mOld.c_str()), 0); }

private:
    CTempFolder mFolder;
    std::string mOld;
};

void writeText(const std::string& text) {
    std::ofstream(CStereoCalib::kFileName) << text;
}

std::string readText() {
    std::ostringstream text;
    text << std::ifstream(CStereoCalib::kFileName).rdbuf();
    return text.str();
}

}  // namespace

// The calibration needs the context that GLTest makes current, so it comes after it.
class StereoCalib : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        mCalib = std::make_unique<CStereoCalib>();
    }
    void TearDown() override { mCalib.reset(); }

    std::unique_ptr<CStereoCalib> mCalib;
};

TEST_F(StereoCalib, LevelAndSelectionKeysStopAtTheirLimits) {
    CStereoCalib& calib = *mCalib;
    EXPECT_EQ(listOf(calib, 0), kRgb128);
    EXPECT_EQ(listOf(calib, 1), kRgb128);
    EXPECT_TRUE(calib.mAdjustGray);
    EXPECT_GT(calib.mMaxTexSize, 0);
    EXPECT_LE(calib.mMaxTexSize, 4096);
    calib.setFilter(1, 0.25f, 0.5f, 0.9f);  // blue is always the rest
    EXPECT_THAT(calib.getFilter(1), ElementsAre(0.25f, 0.5f, 0.25f));

    auto& left = calib.mPatches[0];
    left[0].level = 254;
    EXPECT_TRUE(calib.keyboard('w'));
    EXPECT_TRUE(calib.keyboard('w'));
    EXPECT_EQ(left[0].level, 255);
    left[0].level = 300;  // from a hand-edited file
    calib.keyboard('w');
    EXPECT_EQ(left[0].level, 300);
    left[0].level = 1;
    calib.keyboard('s');
    calib.keyboard('s');
    EXPECT_EQ(left[0].level, 0);  // the floor of grey adjustment
    calib.mAdjustGray = false;
    left[0].level = -254;
    calib.keyboard('s');
    calib.keyboard('s');
    EXPECT_EQ(left[0].level, -255);
    EXPECT_EQ(listOf(calib, 1), kRgb128);  // the other eye is untouched

    EXPECT_TRUE(calib.keyboard('a'));
    EXPECT_EQ(calib.mCurrent, 0);
    for (int i = 0; i < 4; ++i)
        calib.keyboard('d');
    EXPECT_EQ(calib.mCurrent, 2);  // stays on blue
    calib.keyboard('a');
    EXPECT_EQ(calib.mCurrent, 1);

    // The other eye: the same colour stays selected, and only its level moves.
    EXPECT_TRUE(calib.keyboard('e'));
    EXPECT_EQ(calib.mEye, 1);
    EXPECT_EQ(calib.mCurrent, 1);
    calib.keyboard('w');
    EXPECT_EQ(calib.mPatches[1][1].level, 129);
    EXPECT_EQ(left[1].level, 128);
    // A toolkit key code whose low byte is 'e' is another key.
    EXPECT_FALSE(calib.keyboard(0x100 | 'e'));
    EXPECT_EQ(calib.mEye, 1);

    for (int key : {int('A'), int('x'), int('W'), 0})
        EXPECT_FALSE(calib.keyboard(key)) << key;
}

TEST_F(StereoCalib, KeysAndDrawingStayInsideTheLists) {
    CStereoCalib& calib = *mCalib;
    calib.mCurrent = 7;  // beyond the three patches
    for (int key : {'w', 's', 'd'})
        calib.keyboard(key);
    EXPECT_EQ(listOf(calib, 0), kRgb128);
    EXPECT_EQ(calib.mCurrent, 7);
    TestFramebuffer fb(64, 64);
    calib.draw(64, 64);
    calib.mPatches[0].clear();
    calib.mPatches[1].clear();
    calib.mCurrent = 0;
    for (int key : {'w', 's', 'd', 'a', 'e'})
        calib.keyboard(key);
    calib.draw(64, 64);
    EXPECT_EQ(calib.mCurrent, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(StereoCalib, ShiftDOnTheLastPatchAppendsTheNextColoursWithMatchingGreys) {
    CStereoCalib& calib = *mCalib;
    calib.keyboard('D');  // not the last: moves like 'd'
    EXPECT_EQ(calib.mCurrent, 1);
    EXPECT_EQ(calib.mPatches[0].size(), 3u);

    // A red left filter: red looks bright, green and blue dark.
    calib.mPatches[0][0].level = 230;
    calib.mPatches[0][1].level = 60;
    calib.mPatches[0][2].level = 30;
    calib.mCurrent = 2;
    // The presets come from the fit of the matches so far, even one that would not be
    // taken (the right eye is not matched yet): the calibration in use stays.
    const SCalibFit fit = fitCalibration(calib.mPatches[0], calib.mPatches[1], true);
    const std::string out = stderrOf([&] { calib.keyboard('D'); });
    EXPECT_THAT(out, HasSubstr("-------------- fit ---------------\n"));
    EXPECT_THAT(out, testing::EndsWith("gray = 0.5\n"));
    EXPECT_EQ(calib.mCurrent, 3);
    EXPECT_EQ(calib.getFilter(0), (SRgb{0, 0, 0}));
    const float gamma = fit.mGamma;
    for (int eye = 0; eye < 2; ++eye) {
        ASSERT_EQ(calib.mPatches[eye].size(), 6u);
        const SRgb f = {fit.mFilter[eye][0], fit.mFilter[eye][1], fit.mFilter[eye][2]};
        const std::array<int, 3> expected[] = {{0, 255, 255}, {255, 0, 255}, {255, 255, 0}};
        for (int k = 0; k < 3; ++k) {
            const SCalibPatch& p = calib.mPatches[eye][size_t(3 + k)];
            EXPECT_EQ((std::array<int, 3>{p.r, p.g, p.b}), expected[k]);
            // The grey that looks as bright through the fitted filter, truncated.
            const SRgb c = {p.r / 255.0f, p.g / 255.0f, p.b / 255.0f};
            const double match = 255.0 * std::pow(filterLuminance(c, f, gamma), 1.0 / gamma);
            EXPECT_NEAR(p.level, match - 0.5, 0.5 + 1e-3) << eye << k;
        }
    }
    // Through the red filter magenta and yellow look much brighter than cyan.
    EXPECT_GT(calib.mPatches[0][4].level, calib.mPatches[0][3].level + 100);
    EXPECT_GT(calib.mPatches[0][5].level, calib.mPatches[0][3].level + 100);

    // On the last of six: red, green and blue again, as the next group.
    calib.mCurrent = 5;
    stderrOf([&] { calib.keyboard('D'); });
    EXPECT_EQ(calib.mCurrent, 6);
    ASSERT_EQ(calib.mPatches[1].size(), 9u);
    EXPECT_EQ(calib.mPatches[1][6].r, 255);
    EXPECT_EQ(calib.mPatches[1][8].b, 255);
}

TEST_F(StereoCalib, ColourLevelsMoveTowardsTheGroupGrey) {
    CStereoCalib& calib = *mCalib;
    calib.mAdjustGray = false;
    calib.mPatches[0] = {{255, 0, 0, 0}, {0, 255, 0, 120}, {0, 0, 255, 200}};
    calib.mPatches[1] = {{255, 0, 0, 180}, {0, 255, 0, 40}, {0, 0, 255, 150}};
    calib.mCurrent = 2;
    const SCalibFit fit = fitCalibration(calib.mPatches[0], calib.mPatches[1], false);
    const std::string out = stderrOf([&] { calib.addColors(); });
    // The new patches belong to group 0, whose grey is 128/255; its light is the target.
    const float target = std::pow(0.5f * 1.0039216f, fit.mGamma);
    std::ostringstream gray;
    gray << "gray = " << target << "\n";
    EXPECT_THAT(out, testing::EndsWith(gray.str()));
    for (int eye = 0; eye < 2; ++eye) {
        for (size_t k = 3; k < 6; ++k) {
            const SCalibPatch& p = calib.mPatches[eye][k];
            const SRgb c = {p.r / 255.0f, p.g / 255.0f, p.b / 255.0f};
            // Brighter than the grey through the filter: towards black, else white.
            const SRgb f = {fit.mFilter[eye][0], fit.mFilter[eye][1], fit.mFilter[eye][2]};
            const bool bright = filterLuminance(c, f, fit.mGamma) > target;
            EXPECT_EQ(p.level < 0, bright) << eye << k << " " << p.level;
            EXPECT_GE(p.level, -255);
            EXPECT_LE(p.level, 255);
        }
    }
    EXPECT_FALSE(calib.mAdjustGray);
}

TEST_F(StereoCalib, PredictionFillsOnlyCompleteGroupsOfSix) {
    CStereoCalib& calib = *mCalib;
    calib.mPatches[0] = {{255, 0, 0, 230}, {0, 255, 0, 60}, {0, 0, 255, 30}};
    calib.mPatches[1] = {{255, 0, 0, 30}, {0, 255, 0, 200}, {0, 0, 255, 90}};
    const auto before = listOf(calib, 0);
    EXPECT_THAT(stderrOf([&] { calib.keyboard('}'); }), HasSubstr("success = "));  // fitted
    EXPECT_EQ(listOf(calib, 0), before);

    auto growTo = [&](size_t n) {
        while (calib.mPatches[0].size() < n) {
            calib.mCurrent = int(calib.mPatches[0].size()) - 1;
            stderrOf([&] { calib.addColors(); });
        }
    };
    growTo(9);                        // one complete group of six and a triple
    calib.mPatches[0][0].level = 60;  // the group's grey, in grey adjustment
    const auto lastTriple = listOf(calib, 0);
    stderrOf([&] { calib.keyboard('}'); });
    EXPECT_TRUE(calib.mAdjustGray);
    for (size_t i = 6; i < 9; ++i)
        EXPECT_EQ(listOf(calib, 0)[i], lastTriple[i]);
    // A dark grey: what looks bright through each filter is taken towards black.
    EXPECT_LT(calib.mPatches[0][0].level, 0);  // red through the red filter
    EXPECT_LT(calib.mPatches[1][1].level, 0);  // green through the cyan one
    EXPECT_GT(calib.mPatches[0][2].level, 0);  // blue through the red one

    // In colour adjustment the second group's grey is 1/4, darker than the first's 1/2:
    // its levels are darker throughout, for the colours of the first group.
    growTo(12);
    calib.mAdjustGray = false;
    for (auto& list : calib.mPatches)
        for (SCalibPatch& p : list)
            p.level = 0;
    calib.mPatches[0][6] = {9, 9, 9, 240};
    stderrOf([&] { calib.predictLevels(); });
    for (int eye = 0; eye < 2; ++eye) {
        for (size_t k = 0; k < 6; ++k) {
            const SCalibPatch &a = calib.mPatches[eye][k], &b = calib.mPatches[eye][6 + k];
            EXPECT_LT(b.level, a.level) << eye << k;
            EXPECT_EQ((std::array<int, 3>{b.r, b.g, b.b}), (std::array<int, 3>{a.r, a.g, a.b}));
        }
    }
}

TEST_F(StereoCalib, FitReportsItsLinesInOrder) {
    CStereoCalib& calib = *mCalib;
    calib.setFilter(0, 0.9f, 0.05f, 0);
    calib.setGamma(2.2f);
    std::cerr << std::fixed << std::setprecision(2);  // as another part may leave it
    const std::string out = stderrOf([&] { calib.fit(); });
    std::cerr.flags(std::ios::fmtflags());
    std::cerr.precision(6);
    const auto lines = linesOf(out);
    // Six equal matches say nothing about which eye is which: the fit is reported, then
    // refused.
    ASSERT_EQ(lines.size(), 8u) << out;
    EXPECT_THAT(lines[7], HasSubstr("WARNING: fit refused: "));
    EXPECT_EQ(lines[0], "-------------- fit ---------------");
    EXPECT_EQ(lines[1], "success = 1");
    // Six equal matches at 128/255: each primary passes a third, and the gamma makes a
    // third of the light look like 128/255.
    for (int eye = 0; eye < 2; ++eye) {
        std::ostringstream line;
        line << (eye ? "Right filter" : "Left  filter") << " RGB luminance transmission: ";
        EXPECT_THAT(lines[size_t(2 + eye)], testing::StartsWith(line.str()));
        std::istringstream numbers(lines[size_t(2 + eye)].substr(line.str().size()));
        for (int k = 0; k < 3; ++k) {
            double value = 0;
            numbers >> value;
            EXPECT_NEAR(value, 1.0 / 3.0, 0.01);
        }
    }
    EXPECT_NEAR(fitCalibration(calib.mPatches[0], calib.mPatches[1], true).mGamma,
                std::log(1.0 / 3.0) / std::log(128.0 / 255.0), 0.05);
    // Refused: the calibration in use stays.
    EXPECT_EQ(calib.getFilter(0), (SRgb{0.9f, 0.05f, 1.0f - 0.9f - 0.05f}));
    EXPECT_EQ(calib.getGamma(), 2.2f);
    double spread = 1, spread255 = 0;
    EXPECT_EQ(
        std::sscanf(lines[4].c_str(), "distribution variance estimate [0..1]   = %lf", &spread), 1);
    EXPECT_EQ(
        std::sscanf(lines[5].c_str(), "distribution variance estimate [0..255] = %lf", &spread255),
        1);
    EXPECT_LT(spread, 0.01);
    EXPECT_NEAR(spread255, 255 * spread, 1e-5 * 255 * spread);
    EXPECT_EQ(lines[6], lines[0]);

    // The start is fixed: the same matches give the same result whatever came before.
    calib.setFilter(0, 0.1f, 0.1f, 0);
    calib.setGamma(3);
    const std::string again = stderrOf([&] { calib.fit(); });
    // The warning's source line aside.
    EXPECT_EQ(again.substr(0, again.find("fit ---\n", 10)),
              out.substr(0, out.find("fit ---\n", 10)));
    EXPECT_EQ(linesOf(again)[6], lines[6]);
}

TEST_F(StereoCalib, NegativeTransmissionsWarnAndAreKept) {
    CStereoCalib& calib = *mCalib;
    // Red and green each as bright as white, blue black: no filter sums to one so.
    calib.mPatches[0] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 0}};
    const auto lines = linesOf(stderrOf([&] { calib.fit(); }));
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_THAT(lines[2], testing::StartsWith("Left  filter"));
    EXPECT_THAT(lines[3], testing::StartsWith("Right filter"));
    EXPECT_THAT(lines[4], testing::EndsWith(
                              "WARNING: some filter values have been fited to negative values"));
    EXPECT_EQ(lines[5], " - try to be more precise when adjusting the colors");
    EXPECT_EQ(lines[6], " - alternatively you can also fit more than 3 colors on each eye");
    EXPECT_EQ(lines[7],
              "   by pressing Shift+D when blue is selected you get 3 more colors to fit");
    EXPECT_EQ(lines[8], " - you can also continue using these calibration values");
    EXPECT_EQ(lines[9], "");
    // A filter below zero leaves rows without a luminance.
    EXPECT_EQ(lines[10], "distribution variance estimate [0..1]   = nan");
    const SRgb f = calib.getFilter(0);
    EXPECT_TRUE(f[0] <= 0 || f[1] <= 0 || f[2] <= 0);
}

TEST_F(StereoCalib, SpreadOfFewerThanTwoRowsIsNan) {
    CStereoCalib& calib = *mCalib;
    for (size_t left : {0u, 1u}) {
        calib.mPatches[0].resize(left);
        calib.mPatches[1].clear();
        const auto lines = linesOf(stderrOf([&] { calib.fit(); }));
        // Before the closing line of the report (a refusal may follow it).
        ASSERT_GE(lines.size(), 4u);
        const size_t end = lines.size() - (lines.back() == lines[0] ? 1 : 2);
        EXPECT_EQ(lines[end], lines[0]);
        EXPECT_EQ(lines[end - 2], "distribution variance estimate [0..1]   = nan");
        EXPECT_EQ(lines[end - 1], "distribution variance estimate [0..255] = nan");
    }
}

class StereoCalibFile : public StereoCalib {
protected:
    InTempFolder mFolder;
    // '[' also keeps a copy in the configuration folder: one of the test's own.
    CTempFolder mConfig;
    CScopedEnv mConfigHome{"XDG_CONFIG_HOME", mConfig.path()};
};

TEST_F(StereoCalibFile, SaveThenLoadRestoresBothListsAndKeepsTheMode) {
    CStereoCalib& calib = *mCalib;
    const std::string saved = stderrOf([&] { calib.saveFile(); });
    EXPECT_EQ(readText(),
              "version = 0.4.0.0\nnum = 3\n255 0 0 128\n0 255 0 128\n0 0 255 128\n"
              "255 0 0 128\n0 255 0 128\n0 0 255 128\n");
    EXPECT_EQ(linesOf(saved).size(), 6u);
    EXPECT_THAT(saved, testing::StartsWith("getA(ungamma(color2bRsGsBs), base) = "));

    calib.mCurrent = 2;
    stderrOf([&] { calib.addColors(); });
    calib.mAdjustGray = false;
    calib.mPatches[0][4].level = -200;
    calib.mPatches[1][1].level = 255;
    calib.mEye = 1;
    const auto left = listOf(calib, 0), right = listOf(calib, 1);
    stderrOf([&] { calib.saveFile(); });
    EXPECT_EQ(linesOf(readText()).size(), 14u);
    calib.mPatches[0].resize(3);
    calib.mPatches[1][0].level = 7;
    EXPECT_EQ(stderrOf([&] { calib.keyboard(']'); }), "num = 6\n");
    EXPECT_EQ(listOf(calib, 0), left);
    EXPECT_EQ(listOf(calib, 1), right);
    EXPECT_FALSE(calib.mAdjustGray);
    EXPECT_EQ(calib.mEye, 1);
    EXPECT_EQ(calib.mCurrent, 3);

    std::remove(CStereoCalib::kFileName);
    ASSERT_EQ(mkdir(CStereoCalib::kFileName, 0700), 0);  // a folder in its place
    EXPECT_THAT(stderrOf([&] { calib.saveFile(); }),
                ContainsRegex("WARNING: cannot replace ui-calib\\.txt: Is a directory"));
}

TEST_F(StereoCalibFile, OlderVersionsConvertLevelsOrSwitchTheMode) {
    CStereoCalib& calib = *mCalib;
    const std::string triple = "\n255 0 0 128\n0 255 0 0\n0 0 255 255\n";
    writeText("version = 0.2.0.0\nnum = 3" + triple + "1 2 3 4\n5 6 7 8\n9 10 11 12\n");
    EXPECT_EQ(stderrOf([&] { calib.loadFile(); }),
              "WARNING: ui-calib.txt: verion = 0.2.0.0\nnum = 3\n");
    EXPECT_EQ(listOf(calib, 0), (std::vector<std::array<int, 4>>{
                                    {255, 0, 0, 1}, {0, 255, 0, -255}, {0, 0, 255, 255}}));
    EXPECT_EQ(calib.mPatches[1][2].level, 2 * 12 - 255);
    EXPECT_TRUE(calib.mAdjustGray);

    writeText("version = 0.3.0.0 num = 3" + triple + triple);
    EXPECT_EQ(stderrOf([&] { calib.loadFile(); }),
              "WARNING: ui-calib.txt: verion = 0.3.0.0\nnum = 3\n");
    EXPECT_FALSE(calib.mAdjustGray);
    EXPECT_EQ(calib.mPatches[0][1].level, 0);  // as stored
    writeText("version = 0.4.0.0 num = 3" + triple + triple);
    EXPECT_EQ(stderrOf([&] { calib.loadFile(); }), "num = 3\n");
    EXPECT_FALSE(calib.mAdjustGray);  // not switched back

    // Damaged header words are reported, and reading goes on; values keep their low bits.
    writeText("versio : 0.4.0.0 num = 3\n263 -1 0 65541\n0 0 0 40000\n0 0 0 -1" + triple);
    EXPECT_EQ(stderrOf([&] { calib.loadFile(); }),
              "WARNING: ui-calib.txt version!\nWARNING: ui-calib.txt =!\nnum = 3\n");
    EXPECT_EQ(listOf(calib, 0), (std::vector<std::array<int, 4>>{
                                    {7, 255, 0, 5}, {0, 0, 0, 40000 - 65536}, {0, 0, 0, -1}}));
}

TEST_F(StereoCalibFile, BrokenFilesChangeNothing) {
    CStereoCalib& calib = *mCalib;
    calib.mCurrent = 2;
    stderrOf([&] { calib.addColors(); });
    calib.mEye = 1;
    calib.mCurrent = 4;
    const auto left = listOf(calib, 0);
    auto expectUnchanged = [&](const std::string& what) {
        const std::string out = stderrOf([&] { calib.loadFile(); });
        EXPECT_THAT(out, ContainsRegex("WARNING: [^\n]*ui-calib\\.txt")) << what;
        EXPECT_EQ(listOf(calib, 0), left) << what;
        EXPECT_EQ(calib.mPatches[1].size(), 6u) << what;
        EXPECT_EQ(calib.mEye, 1) << what;
        EXPECT_EQ(calib.mCurrent, 4) << what;
    };
    expectUnchanged("no file");
    const std::string header = "version = 0.4.0.0\nnum = ";
    for (const char* count : {"-3", "abc", "", "0", "2", "99999999999999999999", "4000000", "65"}) {
        writeText(header + count + "\n1 2 3 4\n");
        expectUnchanged(count);
    }
    writeText(header + "3\n1 2 3 4\n1 2 3 4\n1 2 3 4\n1 2 3 4\n1 2 3 4\n1 2 3\n");
    expectUnchanged("a line short");
    writeText(header + "3\n1 2 3 4\n1 2 3 4\n1 2 3 x\n1 2 3 4\n1 2 3 4\n1 2 3 4\n");
    expectUnchanged("a word that is no number");
    writeText(header + "3\n1 2 3 4\n1 2 3 4\n1 2 3 4\n1 2 3 4\n1 2 3 4\n1 2 3 4\n");
    stderrOf([&] { calib.loadFile(); });
    EXPECT_EQ(calib.mCurrent, 2);  // shorter lists: the selection moves inside them
}

TEST_F(StereoCalibFile, IncompleteTriplesAreLeftOut) {
    CStereoCalib& calib = *mCalib;
    calib.mCurrent = 2;
    std::string text = "version = 0.4.0.0\nnum = 5\n";
    for (int i = 0; i < 10; ++i)
        text += std::to_string(i) + " 0 0 " + std::to_string(i) + "\n";
    writeText(text);
    EXPECT_THAT(stderrOf([&] { calib.loadFile(); }), HasSubstr("WARNING: ui-calib.txt: 5 "));
    EXPECT_EQ(calib.mPatches[0].size(), 3u);
    ASSERT_EQ(calib.mPatches[1].size(), 3u);
    EXPECT_EQ(calib.mPatches[1][0].level, 5);  // the right eye starts after five lines
    EXPECT_EQ(calib.mCurrent, 2);
}
