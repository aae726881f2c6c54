#include "CGlutWindow.h"

#include <cstdio>

CGlutWindow::CGlutWindow(int viewWidth, int viewHeight)
    : mViewWidth(viewWidth),
      mViewHeight(viewHeight),
      mBoxX(viewWidth - mBoxExtentX),
      mBoxY(viewHeight - mBoxExtentY) {}

void CGlutWindow::updateViewSize() {
    if (mSidePanel) {
        mViewWidth = mWidth - kSidePanelWidth;
        mViewHeight = mHeight / 2;
    } else {
        mViewWidth = mWidth;
        mViewHeight = mHeight;
    }
    mBoxX = mViewWidth - mBoxExtentX;
    mBoxY = mViewHeight - mBoxExtentY;
}

void CGlutWindow::resize(int width, int height) {
    mWidth = width;
    mHeight = height;
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
        std::fprintf(stderr, "FPS = %g\n", 100.0 / seconds);
    }
    ++mFrameCount;
}
