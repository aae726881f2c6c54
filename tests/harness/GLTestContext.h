#pragma once
// Real OpenGL for tests: a Mesa context without any window system (EGL surfaceless),
// made current once per test process, and a framebuffer object to draw into and
// read back from.
#include "glh.h"

#include "CAppHost.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The shader files of the source tree, for tests that build the programs from them.
inline constexpr const char* kStereoVs = RUVELLO_SHADER_DIR "/stereo.vs";
inline constexpr const char* kStereoFs = RUVELLO_SHADER_DIR "/stereo.fs";
inline constexpr const char* kGrayVs = RUVELLO_SHADER_DIR "/gray.vs";
inline constexpr const char* kGrayFs = RUVELLO_SHADER_DIR "/gray.fs";

// Printed when a GL test cannot get a context; ./test.sh fails the run on it even if
// a test framework were to count the test as skipped.
#define RUV_NO_GL_CONTEXT_MARKER "RUVELLO-GL-CONTEXT-UNAVAILABLE"

class GLTestContext {
public:
    // The process-wide context, created on first use; current on return. Returns
    // nullptr (after printing why) when no context can be had.
    static GLTestContext* get();

    const std::string& failure() const { return mFailure; }

    // Leaves no context current, for binaries whose other tests draw with the toolkit's
    // own contexts; get() makes it current again.
    static void release();

private:
    GLTestContext();
    bool create();

    void* mDisplay = nullptr;
    void* mContext = nullptr;
    std::string mFailure;
};

using RGBA = std::array<uint8_t, 4>;

// A framebuffer object with an RGBA8 colour texture and a depth buffer; bound on
// construction, deleted with the object.
class TestFramebuffer {
public:
    TestFramebuffer(int width, int height);
    ~TestFramebuffer();
    TestFramebuffer(const TestFramebuffer&) = delete;
    TestFramebuffer& operator=(const TestFramebuffer&) = delete;

    void bind() const;
    GLuint name() const { return mFbo; }
    GLuint colorTexture() const { return mColor; }
    int width() const { return mWidth; }
    int height() const { return mHeight; }
    bool complete() const;

    // (x, y) in GL window coordinates: y = 0 is the bottom row.
    RGBA pixel(int x, int y) const;
    // All pixels, bottom row first, 4 bytes each.
    std::vector<uint8_t> pixels() const;

private:
    int mWidth, mHeight;
    GLuint mFbo = 0, mColor = 0, mDepth = 0;
};

// A host for the GL framework that draws into a test framebuffer.
class TestHost : public CAppHost {
public:
    explicit TestHost(const TestFramebuffer* fb = nullptr) : mFramebuffer(fb) {}

    unsigned defaultFramebuffer() const override { return mFramebuffer ? mFramebuffer->name() : 0; }
    int screenWidth() const override { return 1920; }
    int screenHeight() const override { return 1080; }
    void requestRepaint() override { ++mRepaints; }
    std::string setSwapInterval(int interval) override {
        mSwapInterval = interval;
        return mSwapFailure;
    }

    const TestFramebuffer* mFramebuffer;
    int mRepaints = 0;
    int mSwapInterval = -1;
    std::string mSwapFailure;  // what setSwapInterval reports; empty grants it
};

// Fixture for tests that need a current context. A missing context fails the test.
class GLTest : public ::testing::Test {
protected:
    void SetUp() override;
};

// A new 2D texture of 8-bit RGB texels (rows without padding, bottom row first) with
// nearest filtering, left bound to the active unit. The caller deletes it.
GLuint uploadRgbTexture(int width, int height, const void* rgb);

// Draws an axis-aligned rectangle in normalised device coordinates with one colour,
// with the fixed-function pipeline.
void drawRect(float x0, float y0, float x1, float y1, float r, float g, float b, float a = 1.0f);
