#pragma once
// The GL application of the framework: a scene viewer that owns the view parameters,
// turns keys and mouse drags into changes of them, draws mono, stereo-anaglyph and
// four-quadrant frames and a transient overlay, and records, replays and saves
// frames. It knows no widget toolkit: the host keeps a CGlutWindow up to date, sets
// its mHost, and calls display() and renderFrame() from its paint handler with its
// context current. Everything is in device pixels.
#include "glh.h"

#include "CAnaglyphRenderer.h"
#include "CGlutWindow.h"
#include "CStereoFramebuffer.h"
#include "CTimerReceiver.h"

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

class CAppHost;
class CStereoCalib;
class CTimerQt;
struct SAnimation;
struct SUI;

class CApp : public CTimerReceiver {
public:
    static constexpr const char* kRecordingFile = "ui-rec.txt";
    static constexpr const char* kScreenshotFormat = "image%03i.png";
    static constexpr const char* kFrameFormat = "image%04i.png";

    explicit CApp(CGlutWindow* window);
    ~CApp() override;
    CApp(const CApp&) = delete;
    CApp& operator=(const CApp&) = delete;

    void onTimer() override;
    // Per-frame preparation before renderFrame.
    virtual void display() {}
    virtual void reshape();
    // key: a character code, or one of the framework's key names (EAppKey, above 255).
    // True when the frame must be drawn again.
    virtual bool keyboard(unsigned key);
    virtual bool motion();
    virtual void saveView();
    virtual void loadView();
    virtual void zoomIn();
    virtual void zoomOut();
    virtual void scaleUp();
    virtual void scaleDown();
    // Releases every GL object of the application with the context still current:
    // the host calls it before its context goes away.
    virtual void shutdownGL();
    virtual void drawScene();
    virtual void drawLeft() { drawScene(); }
    virtual void drawRight() { drawScene(); }
    virtual void drawOverlay();
    // Whether this frame is drawn as a stereo pair; a subclass may draw mono while
    // it has only one view to show.
    virtual bool stereoFrame() const { return mStereo; }
    // Lines of text the host shows over the frame, top first: the calibration's guide, and
    // what a subclass adds (why a picture cannot be shown, say). Empty: nothing to show.
    virtual std::vector<std::string> viewNotes() const;

    // GL set-up with the context current; a second call first releases what the
    // first one made in the same context. False when the shaders cannot be built.
    bool initGL(const char* vertexSource, const char* fragmentSource);
    void renderFrame();
    void finishFrame();
    // quadrants: the side-panel layout, one eye per row, two columns.
    void setProjection(bool quadrants, float scale, bool stereo, bool leftEye, bool firstColumn);
    void applyViewTransform(bool rotationOnly);
    void setLighting(bool on);
    bool mouse();

    void setStereo(bool on) { mStereo = on; }
    bool stereo() const { return mStereo; }
    // The clear colour changes with the mode: a GL call, so the context must be current
    // unless clearColour is false (before GL set-up, which clears to black anyway).
    void setCalibrate(bool on, bool clearColour = true);
    bool calibrating() const { return mCalibrate; }
    void removeHalos(bool on) { mRenderer.setRemoveHalos(on); }
    void fullColor() { mRenderer.setFullColor(); }
    void halfColor() { mRenderer.setHalfColor(); }
    void gray() { mRenderer.setGray(); }
    void restrictedRange(bool on) { mRenderer.setRestrictedRange(on); }
    // Hands the calibration's filters and gamma to the renderer.
    void applyCalibration();

    CAppHost* host() const { return mWindow->mHost; }
    // The framebuffer that stands for the screen: the host's, else 0.
    GLuint hostFramebuffer() const;
    // Asks the host for another frame.
    void requestRepaint();
    CTimerQt* timer() const { return mTimer.get(); }
    bool glReady() const { return mGLReady; }

    SUI& ui() { return *mUI; }
    const SUI& ui() const { return *mUI; }
    // Null outside GL set-up.
    CStereoCalib* calib() const { return mCalib.get(); }
    const CAnaglyphRenderer& renderer() const { return mRenderer; }
    const CStereoFramebuffer& framebuffer() const { return mFramebuffer; }
    bool recording() const { return mRecording; }
    bool replaying() const { return mReplaying; }
    // How many draw modes the mode key cycles through.
    void setNumDrawModes(int count) { mNumDrawModes = count; }
    // The next screenshot looks for the first free number again, as a new run does.
    void restartScreenshotNumbers() { mScreenshotCount = -1; }

    // The viewing-geometry sketch (and the filters' hexagons) show for a moment after each
    // reshape but the first, while the user resizes; the host repaints only on demand, so the
    // moment is measured in time, not in frames.
    static constexpr std::chrono::milliseconds kOverlayTime{500};
    void endOverlay() { mOverlayUntil = {}; }

protected:
    CGlutWindow* mWindow;
    std::unique_ptr<SUI> mUI;
    bool mStereo = false;
    CAnaglyphRenderer mRenderer;

private:
    void animate(float* angle, float end);
    void toggleRecording();
    void saveRecording();
    void startReplay();
    void saveScreenshot();
    void saveSequenceFrame();
    void drawQuadrants();
    void drawMono();
    void drawStereo();
    void drawOverlayPass();
    void drawFilterHexagon(int eye, float x, float y);
    void releaseGL();

    int mNumDrawModes = 1;
    int mScreenshotCount = -1;
    bool mRecording = false;
    bool mReplaying = false;
    bool mSaveFrames = false;
    bool mLightState = true;
    bool mSizedOnce = false;  // reshape has seen a drawing area: later ones are resizes
    std::unique_ptr<SAnimation> mAnimation;
    float mPixelsPerMeter = 3779.5276f;
    std::unique_ptr<CTimerQt> mTimer;
    CStereoFramebuffer mFramebuffer;
    // The recording so far: written whole to kRecordingFile when it stops or the
    // application ends, so that a full disk leaves the earlier recording as it was.
    std::ostringstream mRecStream;
    std::ifstream mReplayStream;
    std::chrono::steady_clock::time_point mOverlayUntil{};
    bool mCalibrate = false;
    std::unique_ptr<CStereoCalib> mCalib;
    bool mGLReady = false;
    bool mScreenshotPending = false;
};
