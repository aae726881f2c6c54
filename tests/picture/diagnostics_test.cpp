#include "diagnostics.h"

#include <gtest/gtest.h>

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {
struct ColorModeGuard {
    ~ColorModeGuard() { setConsoleColorMode(EConsoleColors::Auto); }
};
}  // namespace

TEST(Diagnostics, WarningAndErrorFormats) {
    CaptureStderr();
    warning("src/picture/image.cpp", 42, "cannot open file");
    error("src/glHelper/CApp.cpp", 7, "two\nlines");
    EXPECT_EQ(GetCapturedStderr(),
              "src/picture/image.cpp(42) WARNING: cannot open file\n"
              "src/glHelper/CApp.cpp(7) ERROR: two\nlines\n");
}

TEST(Diagnostics, PlainWhenStandardErrorIsNoTerminal) {
    // Captured standard error is a file, as when the console is redirected to a log.
    CaptureStderr();
    warning("f.cpp", 1, "x");
    EXPECT_EQ(GetCapturedStderr().find('\033'), std::string::npos);
}

TEST(Diagnostics, RedWhileTheMessageIsWritten) {
    ColorModeGuard guard;
    setConsoleColorMode(EConsoleColors::Always);
    CaptureStderr();
    error("f.cpp", 3, "bad");
    EXPECT_EQ(GetCapturedStderr(), "\033[1;31mf.cpp(3) ERROR: bad\n\033[0m");

    setConsoleColorMode(EConsoleColors::Never);
    CaptureStderr();
    setConsoleColor(CONSOLE_RED);
    EXPECT_EQ(GetCapturedStderr(), "");
}

TEST(Diagnostics, MacrosNameTheSourceRelativeToTheTree) {
    CaptureStderr();
    RUV_WARNING("here");
    const std::string text = GetCapturedStderr();
    EXPECT_EQ(text.rfind("tests/picture/diagnostics_test.cpp(", 0), 0u) << text;
    EXPECT_NE(text.find(") WARNING: here\n"), std::string::npos);
}

// Messages that people and scripts read in their own form come out byte for byte: one
// line end added to a line, none to a text that carries its own, nothing for nothing.
TEST(Diagnostics, PlainLinesAndTextsComeOutAsTheyStand) {
    CaptureStderr();
    consoleLine("calibration: 3 matches");
    consoleText("Shader <stereo>:\n  0: line one\n");
    consoleText("no line end");
    consoleText("");
    EXPECT_EQ(GetCapturedStderr(),
              "calibration: 3 matches\nShader <stereo>:\n  0: line one\nno line end\n");
}
