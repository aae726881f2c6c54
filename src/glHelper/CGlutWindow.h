#pragma once
// Window and input state that the host widget keeps up to date and the application
// reads: sizes, the last mouse event, drag deltas, side panel and frame counter.
// All sizes and positions are in device pixels.
#include <chrono>

class CAppHost;

// The framework's own names for the keys beyond the characters (character codes stay
// below 256) and for the modifier keys; the host translates its toolkit's codes.
enum EAppKey : unsigned { kKeyLeft = 0x100, kKeyRight, kKeyUp, kKeyDown };
enum EAppModifier : int { kModShift = 1, kModControl = 2, kModAlt = 4 };

class CGlutWindow {
public:
    using Clock = std::chrono::steady_clock;

    // Width of the strip that the side panel takes from the right of the window.
    static constexpr int kSidePanelWidth = 320;

    CGlutWindow(int viewWidth, int viewHeight);

    void resize(int width, int height);
    // button: 0 left (and any unknown), 1 right, 2 middle, 3 wheel forward,
    // 4 wheel backward; state: 0 press, 1 release.
    void button(int button, int state, int x, int y);
    void move(int x, int y);
    void setSidePanel(bool on);

    // Counts one frame of the frame-rate report and prints "FPS = ..." every 100 frames
    // while the report is on (mFrameCount >= 0).
    void fpsTick();
    void fpsTick(Clock::time_point now);

    int mWidth = 0, mHeight = 0;
    int mViewWidth, mViewHeight;
    int mMouseX = 0, mMouseY = 0;
    int mButton = 0;
    int mButtonState = 1;
    int mDx = 0, mDy = 0;
    int mLastX = 0, mLastY = 0;
    int mCurX = 0, mCurY = 0;
    Clock::time_point mLastFpsTime;
    int mFrameCount = -1;
    bool mSidePanel = false;
    int mModifiers = 0;  // EAppModifier bits
    // The widget that hosts the application; set by the host before GL set-up.
    CAppHost* mHost = nullptr;

private:
    void updateViewSize();
};
