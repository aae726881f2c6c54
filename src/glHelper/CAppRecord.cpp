// Recording the view parameters of every frame, replaying them, and saving frames.
#include "CApp.h"

#include "CTimerQt.h"
#include "SUI.h"
#include "diagnostics.h"
#include "filewrite.h"
#include "screenshot.h"

#include <string>

#include <sys/stat.h>
#include <unistd.h>

void CApp::toggleRecording() {
    if (mRecording) {
        mRecording = false;
        saveRecording();
        return;
    }
    // The same file is being read: replacing it would change what the replay reads.
    if (mReplaying) {
        RUV_WARNING(std::string("a replay of ") + kRecordingFile + " runs; recording not started");
        return;
    }
    // Said at once rather than when the recording stops: a file that can never be written.
    struct stat st;
    if ((stat(kRecordingFile, &st) == 0 && S_ISDIR(st.st_mode)) || access(".", W_OK | X_OK) != 0) {
        RUV_WARNING(std::string("could not open ") + kRecordingFile +
                    " for writing; not recording");
        return;
    }
    mRecStream.str(std::string());
    mRecStream.clear();
    mRecording = true;
    mRecStream << "rec-version = 0.3.0.0\n";
}

void CApp::saveRecording() {
    const std::string text = mRecStream.str();
    mRecStream.str(std::string());
    // On failure the writer names the file and the cause; the earlier recording stays.
    writeFileAtomically(kRecordingFile, text);
}

void CApp::startReplay() {
    if (mReplaying) {
        consoleInfo("Already replaying");
        return;
    }
    if (mRecording) {
        RUV_WARNING(std::string("recording into ") + kRecordingFile + " runs; replay not started");
        return;
    }
    mReplaying = true;
    consoleInfo("mReplaying = 1");
    mReplayStream.clear();
    mReplayStream.open(kRecordingFile);
    std::string word;
    for (int i = 0; i < 3; ++i)
        mReplayStream >> word;
    // Replay is paced by frames: each frame reads the next block and asks for another.
    requestRepaint();
}

void CApp::finishFrame() {
    glFlush();
    if (mRecording)
        mUI->writeBlock(mRecStream);
    if (mReplaying) {
        if (mReplayStream.is_open() &&
            mUI->readBlock(mReplayStream, mNumDrawModes, kRecordingFile)) {
            emit mTimer->dataChanged();
            requestRepaint();
        } else {
            consoleInfo("ifstream finished");
            mReplayStream.close();
            mReplayStream.clear();
            mReplaying = false;
            if (!mAnimation)
                mTimer->stop();  // safe also when nothing ever started it
            requestRepaint();
        }
    }
    if (mScreenshotPending) {
        mScreenshotPending = false;
        saveScreenshot();
    }
    if (mSaveFrames)
        saveSequenceFrame();
}

void CApp::saveScreenshot() {
    mScreenshotCount = firstFreeNumber(kScreenshotFormat, mScreenshotCount + 1);
    saveFramebufferPng(hostFramebuffer(), mWindow->mWidth, mWindow->mHeight,
                       numberedName(kScreenshotFormat, mScreenshotCount));
}

void CApp::saveSequenceFrame() {
    // An empty drawing area (a window narrower than the side panel) saves nothing.
    if (mWindow->mViewWidth <= 0 || mWindow->mViewHeight <= 0)
        return;
    mScreenshotCount = firstFreeNumber(kFrameFormat, mScreenshotCount + 1);
    saveFramebufferPng(hostFramebuffer(), mWindow->mViewWidth, mWindow->mViewHeight,
                       numberedName(kFrameFormat, mScreenshotCount));
}
