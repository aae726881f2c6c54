#include "CGlutWindow.h"

#include "diagnostics.h"

#include <algorithm>
#include <cstdio>

CGlutWindow::CGlutWindow(int viewWidth, int viewHeight)
    : mViewWidth(std::max(viewWidth, 0)), mViewHeight(std::max(viewHeight, 0)) {}

void CGlutWindow::updateViewSize() {
    // A window narrower than the side panel leaves no drawing area; a negative size
    // would reach glViewport and the frame buffers.
    if (mSidePanel) {
        mViewWidth = std::max(mWidth - kSidePanelWidth, 0);
        mViewHeight = std::max(mHeight / 2, 0);
    } else {
        mViewWidth = std::max(mWidth, 0);
        mViewHeight = std::max(mHeight, 0);
    }
}

void CGlutWindow::resize(int width, int height) {
    mWidth = std::max(width, 0);
    mHeight = std::max(height, 0);
    updateViewSize();
}

void CGlutWindow::button(int button, int state, int x, int y) {
    mMouseX = x;
    mMouseY = y;
    mButton = button;
    mButtonState = state;
    if (state == 0) {
        mLastX = x;
        mLastY = y;
        mDx = 0;
        mDy = 0;
    }
}

void CGlutWindow::move(int x, int y) {
    mCurX = x;
    mCurY = y;
    mDx = x - mLastX;
    mDy = y - mLastY;
    mLastX = x;
    mLastY = y;
}

void CGlutWindow::setSidePanel(bool on) {
    if (on == mSidePanel)
        return;
    mSidePanel = on;
    updateViewSize();
}

void CGlutWindow::fpsTick() {
    fpsTick(Clock::now());
}

void CGlutWindow::fpsTick(Clock::time_point now) {
    if (mFrameCount == -1)
        return;
    if (mFrameCount == 0) {
        mLastFpsTime = now;
    } else if (mFrameCount % 100 == 0) {
        const double seconds = std::chrono::duration<double>(now - mLastFpsTime).count();
        mLastFpsTime = now;
        char text[64];
        std::snprintf(text, sizeof text, "FPS = %g", 100.0 / seconds);
        consoleInfo(text);
    }
    ++mFrameCount;
}
