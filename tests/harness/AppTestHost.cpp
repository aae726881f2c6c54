#include "AppTestHost.h"

#include "CApp.h"
#include "glHelper.h"

AppTestHost::AppTestHost(int width, int height, int samples) : mSamples(samples) {
    mWindow.mHost = this;
    makeFramebuffer(width, height);
    mWindow.resize(width, height);
}

AppTestHost::~AppTestHost() {
    deleteFramebuffer();
}

void AppTestHost::makeFramebuffer(int width, int height) {
    glGenRenderbuffers(1, &mColor);
    glBindRenderbuffer(GL_RENDERBUFFER, mColor);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, mSamples, GL_RGBA8, width, height);
    glGenRenderbuffers(1, &mDepth);
    glBindRenderbuffer(GL_RENDERBUFFER, mDepth);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, mSamples, GL_DEPTH24_STENCIL8, width, height);
    glGenFramebuffers(1, &mFbo);
    glBindFramebuffer(GL_FRAMEBUFFER, mFbo);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, mColor);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, mDepth);
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
}

void AppTestHost::deleteFramebuffer() {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &mFbo);
    glDeleteRenderbuffers(1, &mColor);
    glDeleteRenderbuffers(1, &mDepth);
    mFbo = mColor = mDepth = 0;
}

void AppTestHost::initialize(CApp& app, const char* vertexSource, const char* fragmentSource) {
    glBindFramebuffer(GL_FRAMEBUFFER, mFbo);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_MULTISAMPLE);
    initGLHelper(*this);
    app.initGL(vertexSource, fragmentSource);
}

void AppTestHost::resize(CApp& app, int width, int height) {
    deleteFramebuffer();
    makeFramebuffer(width, height);
    mWindow.resize(width, height);
    app.reshape();
}

void AppTestHost::paint(CApp& app) {
    glBindFramebuffer(GL_FRAMEBUFFER, mFbo);
    // What the widget does before every paint: whatever the application set is gone.
    glViewport(3, 5, 7, 11);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    app.display();
    app.renderFrame();
}

std::vector<uint8_t> AppTestHost::pixels() const {
    const int w = mWindow.mWidth, h = mWindow.mHeight;
    std::vector<uint8_t> all;
    {
        TestFramebuffer resolved(w, h);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, mFbo);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolved.name());
        glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        all = resolved.pixels();
    }
    glBindFramebuffer(GL_FRAMEBUFFER, mFbo);
    return all;
}

RGBA AppTestHost::pixel(int x, int y) const {
    const std::vector<uint8_t> all = pixels();
    const size_t i = (size_t(y) * size_t(mWindow.mWidth) + size_t(x)) * 4;
    return {all[i], all[i + 1], all[i + 2], all[i + 3]};
}
