#include "GLTestContext.h"

#include <epoxy/egl.h>

#include <cstdio>

GLTestContext* GLTestContext::get() {
    // Kept for the whole process: tests share one context like the program does.
    static GLTestContext* context = new GLTestContext;
    if (!context->mFailure.empty())
        return nullptr;
    eglMakeCurrent(context->mDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, context->mContext);
    return context;
}

void GLTestContext::release() {
    GLTestContext* context = get();
    if (context)
        eglMakeCurrent(context->mDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

GLTestContext::GLTestContext() {
    if (!create())
        std::fprintf(stderr, "%s: %s\n", RUV_NO_GL_CONTEXT_MARKER, mFailure.c_str());
}

bool GLTestContext::create() {
    EGLDisplay display =
        eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
        mFailure = "no surfaceless EGL display (is Mesa's libegl installed?)";
        return false;
    }
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE,
                                       EGL_PBUFFER_BIT,
                                       EGL_RENDERABLE_TYPE,
                                       EGL_OPENGL_BIT,
                                       EGL_RED_SIZE,
                                       8,
                                       EGL_GREEN_SIZE,
                                       8,
                                       EGL_BLUE_SIZE,
                                       8,
                                       EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(display, configAttributes, &config, 1, &count) || count < 1) {
        mFailure = "no EGL config for desktop OpenGL";
        return false;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        mFailure = "EGL cannot bind the desktop OpenGL API";
        return false;
    }
    // Without version attributes Mesa gives its highest compatibility profile, which
    // keeps the fixed-function pipeline that the program draws with.
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) {
        mFailure = "eglCreateContext failed";
        return false;
    }
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        mFailure = "eglMakeCurrent without a surface failed";
        return false;
    }
    mDisplay = display;
    mContext = context;
    return true;
}

void GLTest::SetUp() {
    GLTestContext* context = GLTestContext::get();
    ASSERT_NE(context, nullptr) << RUV_NO_GL_CONTEXT_MARKER;
    // Leave no error of an earlier test for this one to find.
    while (glGetError() != GL_NO_ERROR) {
    }
    // The context is the process's, and an application's test host switches on what the
    // widget does (depth test, culling, lighting). Each test starts without them, as in a
    // fresh context, whichever tests ran before it in the same process.
    for (GLenum capability : {GL_DEPTH_TEST, GL_CULL_FACE, GL_LIGHTING, GL_LIGHT0, GL_BLEND,
                              GL_ALPHA_TEST, GL_TEXTURE_2D})
        glDisable(capability);
}

TestFramebuffer::TestFramebuffer(int width, int height) : mWidth(width), mHeight(height) {
    glGenTextures(1, &mColor);
    glBindTexture(GL_TEXTURE_2D, mColor);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);

    glGenRenderbuffers(1, &mDepth);
    glBindRenderbuffer(GL_RENDERBUFFER, mDepth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);

    glGenFramebuffers(1, &mFbo);
    glBindFramebuffer(GL_FRAMEBUFFER, mFbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, mColor, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, mDepth);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glViewport(0, 0, width, height);
}

TestFramebuffer::~TestFramebuffer() {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &mFbo);
    glDeleteRenderbuffers(1, &mDepth);
    glDeleteTextures(1, &mColor);
}

void TestFramebuffer::bind() const {
    glBindFramebuffer(GL_FRAMEBUFFER, mFbo);
    glViewport(0, 0, mWidth, mHeight);
}

bool TestFramebuffer::complete() const {
    bind();
    return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

RGBA TestFramebuffer::pixel(int x, int y) const {
    RGBA p{};
    glBindFramebuffer(GL_READ_FRAMEBUFFER, mFbo);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    return p;
}

std::vector<uint8_t> TestFramebuffer::pixels() const {
    std::vector<uint8_t> all(size_t(mWidth) * size_t(mHeight) * 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, mFbo);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, mWidth, mHeight, GL_RGBA, GL_UNSIGNED_BYTE, all.data());
    return all;
}

void drawRect(float x0, float y0, float x1, float y1, float r, float g, float b, float a) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glColor4f(r, g, b, a);
    glBegin(GL_QUADS);
    glVertex2f(x0, y0);
    glVertex2f(x1, y0);
    glVertex2f(x1, y1);
    glVertex2f(x0, y1);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

GLuint uploadRgbTexture(int width, int height, const void* rgb) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    return texture;
}
