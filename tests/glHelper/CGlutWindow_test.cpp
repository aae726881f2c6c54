#include "diagnostics.h"
#include "CGlutWindow.h"

#include <gmock/gmock.h>

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using namespace std::chrono_literals;

// These tests read the console's informational lines, which show only when verbose.
[[maybe_unused]] static const bool kConsoleVerbose = (setConsoleVerbose(true), true);

TEST(CGlutWindow, SizesAndSidePanel) {
    CGlutWindow w(800, 1200);
    EXPECT_EQ(w.mViewWidth, 800);

    w.resize(1001, 701);
    EXPECT_EQ(w.mViewWidth, 1001);
    EXPECT_EQ(w.mViewHeight, 701);
    w.setSidePanel(true);
    EXPECT_EQ(w.mViewWidth, 1001 - 320);
    EXPECT_EQ(w.mViewHeight, 350);
    w.resize(1400, 900);
    EXPECT_EQ(w.mViewWidth, 1080);
    EXPECT_EQ(w.mViewHeight, 450);
    w.setSidePanel(false);
    EXPECT_EQ(w.mViewWidth, 1400);
    EXPECT_EQ(w.mViewHeight, 900);
    EXPECT_EQ(w.mWidth, 1400);

    // Narrower than the side panel: an empty drawing area, never a negative one.
    w.setSidePanel(true);
    w.resize(200, 1);
    EXPECT_EQ(w.mViewWidth, 0);
    EXPECT_EQ(w.mViewHeight, 0);
}

TEST(CGlutWindow, DragDeltasStartAtThePress) {
    CGlutWindow w(100, 100);
    EXPECT_EQ(w.mButtonState, 1);
    w.move(5, 5);
    w.button(1, 0, 10, 20);
    EXPECT_EQ(w.mButton, 1);
    EXPECT_EQ(w.mDx, 0);
    w.move(13, 16);
    EXPECT_EQ(w.mDx, 3);
    EXPECT_EQ(w.mDy, -4);
    w.move(14, 16);
    EXPECT_EQ(w.mDx, 1);
    EXPECT_EQ(w.mDy, 0);
    w.button(1, 1, 14, 16);
    EXPECT_EQ(w.mButtonState, 1);
    EXPECT_EQ(w.mLastX, 14);  // a release keeps the reference point
    EXPECT_EQ(w.mCurX, 14);
}

TEST(CGlutWindow, FrameRateReportEveryHundredFrames) {
    CGlutWindow w(100, 100);
    const CGlutWindow::Clock::time_point t0{};
    CaptureStderr();
    w.fpsTick(t0);  // off: nothing counted
    EXPECT_EQ(w.mFrameCount, -1);

    w.mFrameCount = 0;  // key '9'
    for (int frame = 0; frame < 100; ++frame)
        w.fpsTick(t0 + frame * 10ms);
    EXPECT_EQ(GetCapturedStderr(), "");

    CaptureStderr();
    w.fpsTick(t0 + 2s);  // frame 100: 100 frames in two seconds
    EXPECT_EQ(GetCapturedStderr(), "FPS = 50\n");

    CaptureStderr();
    for (int frame = 101; frame < 200; ++frame)
        w.fpsTick(t0 + 2s + (frame - 100) * 1ms);
    w.fpsTick(t0 + 2s + 400ms);  // frame 200: 100 frames in 0.4 s
    w.fpsTick(t0 + 3s);
    EXPECT_EQ(GetCapturedStderr(), "FPS = 250\n");
    EXPECT_EQ(w.mFrameCount, 202);

    // Switching it on again restarts the count: the next report is 100 frames later.
    w.mFrameCount = 0;
    CaptureStderr();
    for (int frame = 0; frame < 100; ++frame)
        w.fpsTick(t0 + 10s);
    EXPECT_EQ(GetCapturedStderr(), "");
}
