// Keys, mouse and view animations of the GL application.
#include "CApp.h"

#include "CStereoCalib.h"
#include "CTimerQt.h"
#include "GLSLShader.h"
#include "SAnimation.h"
#include "SUI.h"
#include "diagnostics.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr float kHalfPi = 1.5707963f;
constexpr float kStep = 1.2589254f;     // 10^0.1
constexpr float kFineStep = 1.023293f;  // 10^0.01
constexpr int kAnimationIntervalMs = 10;
}  // namespace

void CApp::animate(float* angle, float end) {
    mAnimation = std::make_unique<SAnimation>(angle, end);
    mTimer->start(kAnimationIntervalMs);
}

void CApp::onTimer() {
    if (!mAnimation)
        return;
    if (mAnimation->advance()) {
        emit mTimer->dataChanged();
        requestRepaint();
        return;
    }
    mTimer->stop();  // emits dataChanged
    requestRepaint();
    mAnimation.reset();
}

bool CApp::keyboard(unsigned key) {
    // The calibration takes character codes only: a key name above 255 would otherwise
    // arrive as its low byte, another key.
    if (mCalibrate && mCalib && key <= 255 && mCalib->keyboard(int(key)))
        return true;

    SUI& ui = *mUI;
    const float step = 1.0f / (ui.mScale * ui.mZoom * mPixelsPerMeter);
    switch (key) {
        case '!':
            animate(&ui.rotateX, 0.0f);
            return false;
        case '#':
            animate(&ui.rotateZ, 0.0f);
            return false;
        case '@':
            animate(&ui.rotateX, -kHalfPi);
            return false;
        case '1':
            ui.rotateX = ui.rotateY = ui.rotateZ = 0.0f;
            return true;
        case '2':
            ui.rotateX = -kHalfPi, ui.rotateY = 0.0f, ui.rotateZ = 0.0f;
            return true;
        case '3':
            ui.rotateX = -kHalfPi, ui.rotateY = 0.0f, ui.rotateZ = -kHalfPi;
            return true;
        case '/':
            ui.mTransl *= kStep;
            break;
        case '\'':
            ui.mTransl /= kStep;
            break;
        case ':':
            ui.mNear *= kFineStep;
            break;
        case '>':
            ui.mNear /= kFineStep;
            break;
        case '"':
            ui.mFar *= kFineStep;
            break;
        case '?':
            ui.mFar /= kFineStep;
            break;
        case 'L':
            ui.mLightPosition[0] += step;
            return true;
        case 'J':
            ui.mLightPosition[0] -= step;
            return true;
        case 'I':
            ui.mLightPosition[1] += step;
            return true;
        case 'K':
            ui.mLightPosition[1] -= step;
            return true;
        case 'U':
            ui.mLightPosition[2] += step;
            return true;
        case 'O':
            ui.mLightPosition[2] -= step;
            return true;
        case '0':
            ui.mDrawMode = 0;
            return true;
        case 'a': {
            // The last mode, and any mode that is none of them, steps to the first one:
            // the step never goes beyond the modes, not even by overflow.
            const int last = std::max(mNumDrawModes, 1) - 1;
            ui.mDrawMode = ui.mDrawMode >= 0 && ui.mDrawMode < last ? ui.mDrawMode + 1 : 0;
            return true;
        }
        case 'c':
            ui.mColorPoints = !ui.mColorPoints;
            return true;
        case 'l':
            ui.mLight = !ui.mLight;
            return true;
        case 'm':
            ui.mMultisample = !ui.mMultisample;
            return true;
        case 'o':
            ui.mOrtho = !ui.mOrtho;
            break;
        case 'S':
            mStereo = !mStereo;
            return true;
        case 'P':
            mWindow->setSidePanel(!mWindow->mSidePanel);
            break;
        case '9':
            mWindow->mFrameCount = mWindow->mFrameCount == -1 ? 0 : -1;
            return true;
        case 'A':
            if (mCalibrate && mCalib) {
                mCalib->fit();
                applyCalibration();
            }
            return true;
        case '[':
            saveView();
            return true;
        case ']':
            loadView();
            break;
        case 'r':
            consoleInfo("'r' pressed\nRELOAD SHADERS");
            GLSLShader::instance().reloadAll();
            return true;
        case '7':
            toggleRecording();
            return true;
        case '8':
            startReplay();
            return true;
        case '\\':
            // The frame is read back at the end of the next paint, with the context
            // current and the picture complete.
            mScreenshotPending = true;
            return true;
        case '|':
            mSaveFrames = !mSaveFrames;
            return true;
        default:
            return false;
    }
    reshape();  // the keys that break out of the switch change the projection
    return true;
}

bool CApp::motion() {
    if (mWindow->mButtonState != 0)
        return false;
    SUI& ui = *mUI;
    const float s = ui.mScale * ui.mZoom * mPixelsPerMeter;
    const float dx = float(mWindow->mDx), dy = float(mWindow->mDy);
    switch (mWindow->mButton) {
        case 0:
            ui.rotateX += dy / 100.0f;
            ui.rotateZ += dx / 100.0f;
            return true;
        case 1:
            ui.mZoom *= std::pow(1.001f, -dy);
            return true;
        case 2:
            ui.mPosX -=
                (std::cos(ui.rotateZ) * dx - std::sin(ui.rotateZ) * std::cos(ui.rotateX) * dy) / s;
            ui.mPosY +=
                (std::sin(ui.rotateZ) * dx + std::cos(ui.rotateZ) * std::cos(ui.rotateX) * dy) / s;
            ui.mPosZ += std::sin(-ui.rotateX) * dy / s;
            return true;
        default:
            return false;
    }
}

bool CApp::mouse() {
    const bool ctrl = (mWindow->mModifiers & kModControl) != 0;
    switch (mWindow->mButton) {
        case 3:
        case 19:
            if (mWindow->mButtonState != 0)
                return true;
            ctrl ? zoomIn() : scaleUp();
            return true;
        case 4:
        case 20:
            if (mWindow->mButtonState != 0)
                return true;
            ctrl ? zoomOut() : scaleDown();
            return true;
        default:
            return false;
    }
}

void CApp::zoomIn() {
    mUI->mZoom *= kStep;
}

void CApp::zoomOut() {
    mUI->mZoom /= kStep;
}

void CApp::scaleUp() {
    mUI->mScale *= kStep;
}

void CApp::scaleDown() {
    mUI->mScale /= kStep;
}

void CApp::saveView() {
    mUI->saveFile();
}

void CApp::loadView() {
    mUI->loadFile(SUI::kFileName, mNumDrawModes);
}
