// The user's calibration at start-up: a file in the working directory or in the
// configuration folder gives the first frame its fitted filters, a broken one leaves the
// defaults and says why, and '[' keeps a copy where the program finds it again.
#include "diagnostics.h"
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

#include <chrono>
#include <cmath>
#include <fstream>
#include <sstream>

using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// These tests read the console's informational lines, which show only when verbose.
[[maybe_unused]] static const bool kConsoleVerbose = (setConsoleVerbose(true), true);

namespace {

const float kDefaults[5] = {0.925951f, 0.0611928f, 0.00942937f, 0.87051f, 1.66804f};

// The matches a careful user makes with glasses of known filters on a display of known
// gamma: for each of the six base colours the grey that looks as bright.
std::string calibrationText(const double left[3], const double right[3], double gamma) {
    const int colours[6][3] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},
                               {0, 255, 255}, {255, 0, 255}, {255, 255, 0}};
    std::ostringstream text;
    text << "version = 0.4.0.0\nnum = 6\n";
    for (const double* filter : {left, right}) {
        for (const auto& c : colours) {
            double y = 0;
            for (int k = 0; k < 3; ++k)
                y += filter[k] * std::pow(c[k] / 255.0, gamma);
            text << c[0] << ' ' << c[1] << ' ' << c[2] << ' '
                 << std::lround(255 * std::pow(y, 1 / gamma)) << '\n';
        }
    }
    return text.str();
}

const double kLeft[3] = {0.8, 0.15, 0.05}, kRight[3] = {0.05, 0.7, 0.25};
const double kGamma = 2.0;

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

// A program start in a working directory and a configuration folder of its own.
class StartupCalibration : public CalibFolders {
protected:
    // The GL set-up as the widget runs it; returns what it printed.
    std::string start() {
        if (mApp)
            mApp->shutdownGL();
        mHost = std::make_unique<AppTestHost>(64, 64, 0);
        mApp = std::make_unique<CApp>(&mHost->mWindow);
        CaptureStderr();
        mHost->initialize(*mApp, kStereoVs, kStereoFs);
        return GetCapturedStderr();
    }

    void expectRenderer(const float (&expected)[5]) {
        const CAnaglyphRenderer& r = mApp->renderer();
        EXPECT_THAT((std::array<float, 5>{r.a_l, r.b_l, r.a_r, r.b_r, r.gamma}),
                    testing::ElementsAreArray(expected));
    }
};

}  // namespace

TEST_F(StartupCalibration, AFileInTheWorkingDirectoryGivesTheFirstFrameItsFit) {
    EXPECT_EQ(calibrationConfigPath(), mConfigFile);
    writeText("ui-calib.txt", calibrationText(kLeft, kRight, kGamma));
    SLoadedCalibration loaded;
    std::string why;
    const auto began = std::chrono::steady_clock::now();
    ASSERT_TRUE(loadCalibration("ui-calib.txt", true, &loaded, &why)) << why;
    const double fitSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    RecordProperty("fit_ms", std::to_string(int(fitSeconds * 1000)));
    // The fit finds the glasses the matches were made with.
    const SCalibFit& fit = loaded.mFit;
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(fit.mFilter[0][k], kLeft[k], 0.03) << k;
        EXPECT_NEAR(fit.mFilter[1][k], kRight[k], 0.03) << k;
    }
    EXPECT_NEAR(fit.mGamma, kGamma, 0.1);

    const std::string out = start();
    EXPECT_THAT(out, HasSubstr("calibration ui-calib.txt: " + calibFitSummary(fit) + "\n"));
    expectRenderer(
        {fit.mFilter[0][0], fit.mFilter[0][1], fit.mFilter[1][0], fit.mFilter[1][1], fit.mGamma});
    // The matches come along, as after ']': calibration mode goes on from them.
    ASSERT_EQ(mApp->calib()->mPatches[0].size(), 6u);
    EXPECT_EQ(mApp->calib()->mPatches[1][5].level, loaded.mFile.mPatches[1][5].level);
    EXPECT_EQ(mApp->calib()->getGamma(), fit.mGamma);
}

TEST_F(StartupCalibration, TheConfigurationFolderIsTriedWhenTheWorkingDirectoryHasNone) {
    const std::string text = calibrationText(kLeft, kRight, kGamma);
    ASSERT_TRUE(saveCalibrationCopy(mConfigFile, text, nullptr));
    EXPECT_THAT(start(), HasSubstr("calibration " + mConfigFile + ": left filter"));
    EXPECT_NEAR(mApp->renderer().a_l, kLeft[0], 0.03);

    // The working directory's file comes first, as it always has.
    const double otherLeft[3] = {0.7, 0.2, 0.1};
    writeText("ui-calib.txt", calibrationText(otherLeft, kRight, kGamma));
    EXPECT_THAT(start(), HasSubstr("calibration ui-calib.txt: left filter"));
    EXPECT_NEAR(mApp->renderer().a_l, otherLeft[0], 0.03);
}

TEST_F(StartupCalibration, ABrokenFileLeavesTheDefaultsAndSaysWhy) {
    // Nothing saved: the defaults, quietly.
    EXPECT_THAT(start(), testing::Not(HasSubstr("calibration")));
    expectRenderer(kDefaults);

    writeText("ui-calib.txt", "version = 0.4.0.0\nnum = 3\n255 0 0 128\n");
    std::string out = start();
    EXPECT_THAT(out, testing::ContainsRegex("WARNING: calibration not used: ui-calib\\.txt: the "
                                            "file ends before its 3 patches"));
    expectRenderer(kDefaults);
    EXPECT_EQ(mApp->calib()->mPatches[0].size(), 3u);
    EXPECT_EQ(mApp->calib()->mPatches[0][0].level, 128);

    // Readable, but matches no display can give: every colour as bright as white.
    std::string text = "version = 0.4.0.0\nnum = 3\n";
    for (int i = 0; i < 6; ++i)
        text += "0 0 0 255\n";
    writeText("ui-calib.txt", text);
    out = start();
    EXPECT_THAT(out, testing::ContainsRegex("WARNING: calibration not used: ui-calib\\.txt: the "
                                            "fit gives"));
    expectRenderer(kDefaults);

    // A broken file in the working directory is not passed over for the copy: the user
    // learns that his file is broken.
    ASSERT_TRUE(saveCalibrationCopy(mConfigFile, calibrationText(kLeft, kRight, kGamma), nullptr));
    EXPECT_THAT(start(), HasSubstr("calibration not used: ui-calib.txt"));
    expectRenderer(kDefaults);
}

TEST_F(StartupCalibration, SavingWritesTheConfigurationFolderWhereEveryStartFindsIt) {
    start();
    mApp->setCalibrate(true);
    CTempFolder matches;
    writeText(matches.path("mine.txt"), calibrationText(kLeft, kRight, kGamma));
    CaptureStderr();
    ASSERT_TRUE(mApp->calib()->loadFile(matches.path("mine.txt")));
    GetCapturedStderr();
    mApp->calib()->mPatches[0][1].level = 97;
    CaptureStderr();
    mApp->keyboard('[');
    GetCapturedStderr();
    const std::string saved = readText(mConfigFile);
    EXPECT_THAT(saved, HasSubstr("\n0 255 0 97\n"));
    // The working directory gets no new file.
    EXPECT_FALSE(exists("ui-calib.txt"));

    // Started from elsewhere, the program finds the copy.
    CTempFolder elsewhere;
    ASSERT_EQ(chdir(elsewhere.path().c_str()), 0);
    EXPECT_THAT(start(), HasSubstr("calibration " + mConfigFile));
    EXPECT_EQ(mApp->calib()->mPatches[0][1].level, 97);

    // A configuration folder that cannot be made (its place is a regular file, which
    // stops root as well) leaves nowhere to save: a warning, and nothing written.
    writeText(mConfig.path() + "/blocked", "");
    CScopedEnv blocked("XDG_CONFIG_HOME", mConfig.path() + "/blocked");
    mApp->setCalibrate(true);
    mApp->calib()->mPatches[0][1].level = 98;
    CaptureStderr();
    mApp->keyboard('[');
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("WARNING: cannot make the folder"));
    EXPECT_FALSE(exists("ui-calib.txt"));
    EXPECT_FALSE(exists(mConfig.path() + "/blocked/Ruvello"));
}
