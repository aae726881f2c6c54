// The view-parameter block and "ui.txt": round trips, files of the older pixel units,
// hand-edited files with wrong, huge or unreadable words, and files that cannot be opened.
#include "diagnostics.h"
#include "SUI.h"

#include "tempfolder.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iomanip>
#include <sstream>

using testing::FloatNear;
using testing::HasSubstr;
using testing::Not;

// These tests read the console's informational lines, which show only when verbose.
[[maybe_unused]] static const bool kConsoleVerbose = (setConsoleVerbose(true), true);

namespace {

std::string stderrOf(const std::function<void()>& action) {
    testing::internal::CaptureStderr();
    action();
    return testing::internal::GetCapturedStderr();
}

std::string blockOf(const SUI& ui) {
    std::ostringstream out;
    ui.writeBlock(out);
    return out.str();
}

// The block with the value of one entry replaced by a word of the test's choosing.
std::string withValue(std::string block, const std::string& name, const std::string& word) {
    const size_t at = block.find(name + " = ") + name.size() + 3;
    return block.replace(at, block.find('\n', at) - at, word);
}

// Every persisted field away from its default, with more digits than a file keeps.
SUI changedUI() {
    SUI ui;
    float* floats[] = {&ui.rotateX, &ui.rotateY,  &ui.rotateZ,  &ui.mPosX,    &ui.mPosY,
                       &ui.mPosZ,   &ui.weightL0, &ui.weightL1, &ui.weightL2, &ui.mNear,
                       &ui.mFar,    &ui.mZoom,    &ui.mTransl,  &ui.mScale};
    for (size_t i = 0; i < std::size(floats); ++i)
        *floats[i] = 0.1234567f * float(i + 1);
    for (float& coordinate : ui.mLightPosition)
        coordinate = -coordinate / 3;
    for (bool* flag : {&ui.mLight, &ui.mColorPoints, &ui.mDrawWithNormals, &ui.mDrawRaw,
                       &ui.mDrawSingle, &ui.mColorShader, &ui.mOrtho})
        *flag = !*flag;
    ui.mDrawMode = 3;  // the last of four modes
    ui.mArr = -7;
    return ui;
}

}  // namespace

class ViewFile : public testing::Test {
protected:
    std::string write(const std::string& text) {
        std::ofstream(mPath) << text;
        return mPath;
    }
    CTempFolder mFolder;
    std::string mPath = mFolder.path(SUI::kFileName);
};

TEST_F(ViewFile, SaveAndLoadGiveBackEveryValueWithoutWarning) {
    SUI saved = changedUI();
    ASSERT_TRUE(saved.saveFile(mPath));
    std::ifstream file(mPath);
    std::string line;
    std::getline(file, line);
    EXPECT_EQ(line, "version = 0.5.0.0");

    // The caller's stream formats change neither the file's nor the echo's format.
    const std::ios::fmtflags flags = std::cerr.flags();
    std::cerr << std::fixed << std::setprecision(2);
    SUI loaded;
    const std::string log = stderrOf([&] { loaded.loadFile(mPath, 4); });
    EXPECT_TRUE(std::cerr.flags() & std::ios::fixed);
    std::cerr.flags(flags);
    std::cerr.precision(6);
    EXPECT_THAT(log, Not(HasSubstr("WARNING")));
    EXPECT_THAT(log, HasSubstr("\nmNear = 1.23457\n"));
    EXPECT_EQ(blockOf(loaded), blockOf(saved));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), SUI::kBlockSize + 1);  // and "buff"

    std::ostringstream fixedStream;
    fixedStream << std::fixed << std::setprecision(1);
    saved.writeBlock(fixedStream);
    EXPECT_EQ(fixedStream.str(), blockOf(saved));
    EXPECT_EQ(fixedStream.precision(), 1);
}

TEST_F(ViewFile, OldPixelUnitsConvertToMetres) {
    SUI old;
    old.mZoom = old.mTransl = SUI::kPixelsPerMeter;
    SUI loaded;
    loaded.mScale = 7;
    const std::string log =
        stderrOf([&] { loaded.loadFile(write("version = 0.4.2.0\n" + blockOf(old))); });
    EXPECT_THAT(loaded.mZoom, FloatNear(1, 1e-5));
    EXPECT_THAT(loaded.mScale, FloatNear(1, 1e-5));
    EXPECT_THAT(loaded.mTransl, FloatNear(1, 1e-5));
    EXPECT_THAT(log, HasSubstr("WARNING: " + mPath + " =!\n"));

    // A refused zoom is neither taken nor converted: the kept one is in metres already.
    SUI guarded;
    guarded.mZoom = 2;
    stderrOf([&] {
        guarded.loadFile(write("version = 0.4.1.0\n" + withValue(blockOf(old), "mZoom", "0")));
    });
    EXPECT_EQ(guarded.mZoom, 2);
    EXPECT_EQ(guarded.mScale, old.mScale);
    EXPECT_THAT(guarded.mTransl, FloatNear(1, 1e-5));
}

TEST_F(ViewFile, ZeroNegativeAndNonFiniteValuesAreRefused) {
    const char* cases[][2] = {{"mZoom", "0"},      {"mScale", "-1"},   {"mTransl", "nan"},
                              {"mScale", "1e-50"}, {"rotateX", "inf"}, {"mFar", "1e39"}};
    const SUI before = changedUI();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c[0]) + " = " + c[1]);
        const std::string block = withValue(blockOf(before), c[0], c[1]);
        SUI loaded = before;
        const std::string log =
            stderrOf([&] { loaded.loadFile(write("version = 0.5.0.0\n" + block), 4); });
        EXPECT_THAT(log, HasSubstr(mPath + ": " + c[0] + " = " + c[1] + " refused"));
        EXPECT_EQ(blockOf(loaded), blockOf(before));

        std::istringstream replay(block);  // a replayed block has no file to name
        SUI replayed = before;
        bool matched = false;
        const std::string replayLog = stderrOf([&] { matched = replayed.readBlock(replay, 4); });
        EXPECT_TRUE(matched);
        EXPECT_THAT(replayLog, HasSubstr(std::string(") WARNING: ") + c[0] + " = "));
        EXPECT_EQ(blockOf(replayed), blockOf(before));
    }
}

TEST_F(ViewFile, UnreadableBoolKeepsItAndEveryLaterValue) {
    const SUI file = changedUI();
    std::istringstream in(withValue(blockOf(file), "mLight", "true"));
    SUI ui;
    ui.mScale = 2.5f;
    bool matched = true;
    const std::string log = stderrOf([&] { matched = ui.readBlock(in); });
    EXPECT_FALSE(matched);
    EXPECT_THAT(ui.rotateZ, FloatNear(file.rotateZ, 1e-5));  // before the bool: read
    EXPECT_EQ(ui.mArr, file.mArr);
    EXPECT_EQ(ui.mLight, SUI().mLight);  // the bool and everything after: kept
    EXPECT_EQ(ui.mNear, SUI().mNear);
    EXPECT_EQ(ui.mScale, 2.5f);
    EXPECT_THAT(log, HasSubstr("mScale = 2.5\n"));
}

TEST_F(ViewFile, LongWordsAreReadSafelyAndByPosition) {
    const std::string longWord(300, 'x');
    const SUI file = changedUI();
    std::string block = withValue(blockOf(file), "rotateX", std::string(300, '7'));
    block.replace(block.find("mPosX"), 5, longWord);
    SUI loaded;
    const std::string log =
        stderrOf([&] { loaded.loadFile(write("version = " + longWord + "\n" + block)); });
    EXPECT_EQ(loaded.rotateX, 0);                            // far beyond a float: refused
    EXPECT_THAT(loaded.mPosX, FloatNear(file.mPosX, 1e-5));  // a wrong name does not stop reading
    EXPECT_THAT(loaded.mScale, FloatNear(file.mScale, 1e-5));
    EXPECT_THAT(log, HasSubstr("buff = " + longWord + "\n"));
    EXPECT_THAT(log, HasSubstr("WARNING: " + mPath + " outdated!\n"));
}

TEST_F(ViewFile, UnwritableOrMissingFileWarnsAndChangesNothing) {
    // A path below a regular file cannot be created, not even by root.
    const std::string unwritable = write("x") + "/" + SUI::kFileName;
    SUI ui = changedUI();
    bool saved = true;
    std::string log = stderrOf([&] { saved = ui.saveFile(unwritable); });
    EXPECT_FALSE(saved);
    EXPECT_THAT(log, HasSubstr(") WARNING: cannot write " + unwritable));

    log = stderrOf([&] { ui.loadFile(unwritable); });
    EXPECT_THAT(log, HasSubstr(") WARNING: cannot read " + unwritable));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_EQ(blockOf(ui), blockOf(changedUI()));
}
