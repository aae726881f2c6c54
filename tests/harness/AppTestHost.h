#pragma once
// A host for CApp that behaves as the toolkit's GL widget does: the application draws
// into the host's own framebuffer object (never 0), which may be multisampled; the
// viewport is reset to the whole window before every paint; depth testing, face
// culling and lighting are on, as the widget sets them.
#include "GLTestContext.h"

#include "CGlutWindow.h"

class CApp;

class AppTestHost : public CAppHost {
public:
    // samples 0: a single-sample framebuffer; 4: a multisampled one.
    AppTestHost(int width, int height, int samples);
    ~AppTestHost() override;

    unsigned defaultFramebuffer() const override { return mFbo; }
    int screenWidth() const override { return mScreenWidth; }
    int screenHeight() const override { return mScreenHeight; }
    void requestRepaint() override { ++mRepaints; }
    std::string setSwapInterval(int) override { return {}; }

    // The widget's GL set-up, then the application's.
    void initialize(CApp& app, const char* vertexSource, const char* fragmentSource);
    // A new window size: the framebuffer is made anew, as the widget's is.
    void resize(CApp& app, int width, int height);
    // One paint: bind, scramble the viewport, clear, display(), renderFrame().
    void paint(CApp& app);
    // The window's pixels, resolved, bottom row first, 4 bytes each.
    std::vector<uint8_t> pixels() const;
    RGBA pixel(int x, int y) const;

    CGlutWindow mWindow{800, 1200};
    int mScreenWidth = 1920, mScreenHeight = 1080;
    int mRepaints = 0;

private:
    void makeFramebuffer(int width, int height);
    void deleteFramebuffer();

    int mSamples;
    GLuint mFbo = 0, mColor = 0, mDepth = 0;
};
