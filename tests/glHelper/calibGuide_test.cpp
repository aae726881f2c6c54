// Calibration that guides, refuses fits that do not separate the eyes and saves where the
// program finds it again: the separation criterion on a table of filters, the guide over
// the calibration screen, Shift+A and '[' on the real application, in a working
// directory and a configuration folder of the test's own.
#include "calibfolders.h"
#include "CApp.h"
#include "CStereoCalib.h"
#include "calibFit.h"
#include "calibSearch.h"
#include "scopedenv.h"
#include "tempfolder.h"

#include <QCoreApplication>
#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <sstream>

using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

SCalibFit fitOf(const float (&left)[3], const float (&right)[3], float gamma = 2.0f) {
    SCalibFit fit;
    for (int k = 0; k < 3; ++k) {
        fit.mFilter[0][k] = left[k];
        fit.mFilter[1][k] = right[k];
    }
    fit.mGamma = gamma;
    return fit;
}

struct SSeparationCase {
    const char* name;
    float left[3], right[3];
    const char* refusal;  // nullptr: usable
};

const SSeparationCase kCases[] = {
    {"built-in", {0.925951f, 0.0611928f, 0.0128566f}, {0.00942937f, 0.87051f, 0.120061f}, nullptr},
    {"cheap glasses", {0.8f, 0.15f, 0.05f}, {0.05f, 0.7f, 0.25f}, nullptr},
    {"blue fitted a little below zero", {0.9f, 0.12f, -0.02f}, {0.02f, 0.8f, 0.18f}, nullptr},
    {"left just inside", {0.6757f, 0.2243f, 0.1f}, {0.02f, 0.8f, 0.18f}, nullptr},
    {"right just inside", {0.9f, 0.06f, 0.04f}, {0.3243f, 0.5757f, 0.1f}, nullptr},
    {"left just outside",
     {0.6579f, 0.2421f, 0.1f},
     {0.02f, 0.8f, 0.18f},
     "the left (red) filter passes 0.52 as much green and blue as red, more than 0.50: it "
     "does not separate the eyes"},
    {"red filter passing as much green and blue as red",
     {0.5f, 0.3f, 0.2f},
     {0.02f, 0.8f, 0.18f},
     "the left (red) filter passes 1.00 as much green and blue as red"},
    {"right just outside",
     {0.9f, 0.06f, 0.04f},
     {0.3421f, 0.5579f, 0.1f},
     "the right (cyan) filter passes 0.52 as much red as green and blue"},
    {"cyan filter passing as much red as green and blue",
     {0.9f, 0.06f, 0.04f},
     {0.5f, 0.4f, 0.1f},
     "the right (cyan) filter passes 1.00 as much red as green and blue"},
    {"eyes swapped",
     {0.02f, 0.8f, 0.18f},
     {0.9f, 0.06f, 0.04f},
     "the left (red) filter passes 49.00 as much green and blue as red"},
    {"red filter passing no red",
     {-0.05f, 0.6f, 0.45f},
     {0.02f, 0.8f, 0.18f},
     "the left (red) filter passes no red"},
    {"cyan filter passing no green or blue",
     {0.9f, 0.06f, 0.04f},
     {1.1f, -0.05f, -0.05f},
     "the right (cyan) filter passes no green and blue"},
};

TEST(CalibSeparation, FitsThatDoNotSeparateTheEyesAreRefused) {
    for (const SSeparationCase& c : kCases) {
        std::string why = "untouched";
        const bool usable = calibFitUsable(fitOf(c.left, c.right), &why);
        EXPECT_EQ(usable, c.refusal == nullptr) << c.name << ": " << why;
        if (c.refusal)
            EXPECT_THAT(why, HasSubstr(c.refusal)) << c.name;
        else
            EXPECT_EQ(why, "") << c.name;
    }
}

// Matches a careful user makes through glasses of the given filters on a display of the
// given gamma: for each of the six base colours the face grey that looks as bright.
std::vector<SCalibPatch> matchesFor(const float (&filter)[3], double gamma) {
    const uint8_t colours[6][3] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},
                                   {0, 255, 255}, {255, 0, 255}, {255, 255, 0}};
    std::vector<SCalibPatch> patches;
    for (const auto& c : colours) {
        double y = 0;
        for (int k = 0; k < 3; ++k)
            y += filter[k] * std::pow(c[k] / 255.0, gamma);
        patches.push_back({c[0], c[1], c[2], int16_t(std::lround(255 * std::pow(y, 1 / gamma)))});
    }
    return patches;
}

const float kGoodLeft[3] = {0.8f, 0.15f, 0.05f}, kGoodRight[3] = {0.05f, 0.7f, 0.25f};
const float kMuddyLeft[3] = {0.45f, 0.35f, 0.2f};

TEST(CalibSeparation, TheRealFitOfCarelessMatchesIsRefused) {
    std::string why;
    EXPECT_TRUE(calibFitUsable(
        fitCalibration(matchesFor(kGoodLeft, 2.0), matchesFor(kGoodRight, 2.0), true), &why))
        << why;
    EXPECT_FALSE(calibFitUsable(
        fitCalibration(matchesFor(kMuddyLeft, 2.0), matchesFor(kGoodRight, 2.0), true), &why));
    EXPECT_THAT(why, HasSubstr("the left (red) filter passes"));
}

// The application in a working directory and a configuration folder of its own.
class CalibGuide : public CalibFolders {
protected:
    void SetUp() override {
        CalibFolders::SetUp();
        if (HasFatalFailure())
            return;
        mHost = std::make_unique<AppTestHost>(64, 64, 0);
        mApp = std::make_unique<CApp>(&mHost->mWindow);
        CaptureStderr();
        mHost->initialize(*mApp, RUVELLO_SHADER_DIR "/stereo.vs", RUVELLO_SHADER_DIR "/stereo.fs");
        GetCapturedStderr();
        mApp->setCalibrate(true);
    }

    // A key as the widget hands it over; returns what went to the console.
    std::string press(unsigned key) {
        CaptureStderr();
        mApp->keyboard(key);
        return GetCapturedStderr();
    }
    std::array<float, 5> renderer() const {
        const CAnaglyphRenderer& r = mApp->renderer();
        return {r.a_l, r.b_l, r.a_r, r.b_r, r.gamma};
    }
    std::string notes() const {
        std::string text;
        for (const std::string& line : mApp->viewNotes())
            text += line + "\n";
        return text;
    }
    void match(const float (&left)[3], const float (&right)[3]) {
        mApp->calib()->mPatches[0] = matchesFor(left, 2.0);
        mApp->calib()->mPatches[1] = matchesFor(right, 2.0);
    }
};

}  // namespace

TEST_F(CalibGuide, TheNotesSayWhichEyeWhichPatchAndWhatTheKeysDo) {
    std::vector<std::string> lines = mApp->viewNotes();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Calibration: left eye (red filter), patch 1 of 3");
    EXPECT_THAT(lines[1], testing::StartsWith("Shut your right eye"));
    EXPECT_EQ(lines[2],
              "w/s: face brighter/darker (t/g: by 10)  a/d: previous/next patch  e: other eye  "
              "Shift+D: three more patches  Shift+A: fit  [: save  ]: load saved matches");
    EXPECT_THAT(lines[3], testing::StartsWith("In use: left filter 0.926 0.061 0.013, right "
                                              "filter 0.009 0.871 0.120, gamma 1.668 (built-in)"));
    press('d');
    press('e');
    lines = mApp->viewNotes();
    EXPECT_EQ(lines[0], "Calibration: right eye (cyan filter), patch 2 of 3");
    EXPECT_THAT(lines[1], testing::StartsWith("Shut your left eye"));
    // Colour adjustment (a file of version 0.3.0.0) changes the patch, not the face.
    mApp->calib()->mAdjustGray = false;
    EXPECT_THAT(mApp->viewNotes()[2], testing::StartsWith("w/s: colour brighter/darker"));
    // Outside calibration the view has nothing to say.
    mApp->setCalibrate(false);
    EXPECT_TRUE(mApp->viewNotes().empty());
}

TEST_F(CalibGuide, ARefusedFitLeavesTheCalibrationInUseAndIsNotSaved) {
    // A calibration of the user's own, in use and saved.
    match(kGoodLeft, kGoodRight);
    press('A');
    const std::array<float, 5> mine = renderer();
    EXPECT_NEAR(mine[0], kGoodLeft[0], 0.03);
    EXPECT_THAT(notes(), HasSubstr("Fit taken: left filter 0.8"));
    press('[');
    const std::string saved = readText(mConfigFile);
    ASSERT_FALSE(saved.empty());

    // Careless matches of the left eye: refused, said in the notes and on the console.
    match(kMuddyLeft, kGoodRight);
    std::string out = press('A');
    EXPECT_THAT(out, testing::ContainsRegex(
                         "WARNING: fit refused: the left \\(red\\) filter passes [0-9.]+ as "
                         "much green and blue as red.*; the calibration in use stays as it was"));
    EXPECT_EQ(renderer(), mine);
    EXPECT_THAT(notes(), HasSubstr("Fit refused: the left (red) filter passes"));
    EXPECT_THAT(notes(), HasSubstr("In use: left filter 0.8"));
    // '[' does not save them either.
    out = press('[');
    EXPECT_THAT(out, HasSubstr("WARNING: calibration not saved: the left (red) filter"));
    EXPECT_EQ(readText(mConfigFile), saved);
    EXPECT_THAT(notes(), HasSubstr("Not saved: the left (red) filter"));

    // Neither do the first matches of all, six equal ones.
    for (auto& patches : mApp->calib()->mPatches)
        patches = {{255, 0, 0, 128}, {0, 255, 0, 128}, {0, 0, 255, 128}};
    mApp->calib()->mPatches[0][0].level = 129;
    press('A');
    press('[');
    EXPECT_EQ(readText(mConfigFile), saved);
    EXPECT_EQ(renderer(), mine);
}

TEST_F(CalibGuide, SaveGoesToTheConfigurationFolderAndUpdatesOnlyAWorkingDirectoryFileThatExists) {
    match(kGoodLeft, kGoodRight);
    std::string out = press('[');
    EXPECT_EQ(readText(mConfigFile),
              calibFileText(mApp->calib()->mPatches[0], mApp->calib()->mPatches[1]));
    // No new file where the program happens to run: a folder of photos, a checkout.
    EXPECT_FALSE(exists("ui-calib.txt"));
    EXPECT_FALSE(mApp->calib()->hasUnsavedMatches());
    EXPECT_THAT(notes(), HasSubstr("Saved to " + mConfigFile + "."));

    // ']' loads what '[' saved, from the configuration folder.
    const int16_t level = mApp->calib()->mPatches[0][1].level;
    mApp->calib()->mPatches[0][1].level = 3;
    press(']');
    EXPECT_EQ(mApp->calib()->mPatches[0][1].level, level);
    EXPECT_THAT(notes(), HasSubstr("Loaded the matches of " + mConfigFile));

    // A working directory's file is read first at start-up: it is kept up to date.
    std::ofstream("ui-calib.txt") << "old\n";
    mApp->calib()->mPatches[1][1].level = int16_t(mApp->calib()->mPatches[1][1].level + 1);
    out = press('[');
    const std::string text = readText(mConfigFile);
    EXPECT_THAT(
        text, HasSubstr("\n0 255 0 " + std::to_string(mApp->calib()->mPatches[1][1].level) + "\n"));
    EXPECT_EQ(readText("ui-calib.txt"), text);
    EXPECT_THAT(notes(), HasSubstr("Saved to " + mConfigFile + " and ui-calib.txt (read first)."));

    // Without a configuration folder the working directory's file still takes them.
    CScopedEnv blocked("XDG_CONFIG_HOME", mWork.path() + "/ui-calib.txt");
    mApp->calib()->mPatches[1][1].level = int16_t(mApp->calib()->mPatches[1][1].level + 1);
    out = press('[');
    EXPECT_THAT(out, HasSubstr("WARNING: cannot make the folder"));
    EXPECT_NE(readText("ui-calib.txt"), text);
    EXPECT_FALSE(mApp->calib()->hasUnsavedMatches());
}

TEST_F(CalibGuide, WithNowhereToSaveTheMatchesStayUnsaved) {
    std::ofstream(mConfig.path() + "/blocked") << "";
    CScopedEnv blocked("XDG_CONFIG_HOME", mConfig.path() + "/blocked");
    match(kGoodLeft, kGoodRight);
    mApp->calib()->keyboard('w');
    const std::string out = press('[');
    EXPECT_THAT(out, HasSubstr("; the calibration is not saved"));
    EXPECT_TRUE(mApp->calib()->hasUnsavedMatches());
    EXPECT_FALSE(exists("ui-calib.txt"));
    EXPECT_THAT(notes(), HasSubstr("Not saved: cannot make the folder " + mConfig.path() +
                                   "/blocked/Ruvello/Ruvello."));
}
