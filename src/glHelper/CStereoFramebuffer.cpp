#include "CStereoFramebuffer.h"

#include "glHelper.h"

#include <algorithm>

const char* framebufferStatusText(GLenum status) {
    switch (status) {
        case GL_FRAMEBUFFER_COMPLETE:
            return "";
        case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT:
            return "Framebuffer incomplete attachment\n";
        case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT:
            return "Framebuffer incomplete, missing attachment\n";
        case GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT:
            return "Framebuffer incomplete, attached images must have same dimensions\n";
        case GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT:
            return "Framebuffer incomplete, attached images must have same format\n";
        case GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER:
            return "Framebuffer incomplete, missing draw buffer\n";
        case GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER:
            return "Framebuffer incomplete, missing read buffer\n";
        case GL_FRAMEBUFFER_UNSUPPORTED:
            return "Framebuffer unsupported\n";
        case GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE:
            return "Framebuffer incomplete multisampling\n";
        default:
            return "Framebuffer: unknown error\n";
    }
}

void CStereoFramebuffer::reportStatus() {
    // The status text carries its own line end; a complete framebuffer has none.
    consoleText(framebufferStatusText(glCheckFramebufferStatus(GL_FRAMEBUFFER)));
}

void CStereoFramebuffer::create() {
    if (mFbo)
        return;
    glGenFramebuffers(1, mFbo.out());
    glGenTextures(1, mTexLeft.out());
    glGenTextures(1, mTexRight.out());
    glGenTextures(1, mTexDepth.out());
}

void CStereoFramebuffer::allocate(int width, int height, GLuint hostFramebuffer) {
    if (!mFbo)
        return;
    mWidth = std::max(width, 1);
    mHeight = std::max(height, 1);
    glBindFramebuffer(GL_FRAMEBUFFER, mFbo.get());
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT1, GL_TEXTURE_2D, 0, 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, 0, 0);

    const struct {
        GLuint texture;
        GLint internalFormat;
        GLenum format;
    } layout[] = {{mTexLeft.get(), GL_RGBA, GL_RGBA},
                  {mTexRight.get(), GL_RGBA, GL_RGBA},
                  {mTexDepth.get(), GL_DEPTH_COMPONENT, GL_DEPTH_COMPONENT}};
    for (const auto& t : layout) {
        glBindTexture(GL_TEXTURE_2D, t.texture);
        glTexImage2D(GL_TEXTURE_2D, 0, t.internalFormat, mWidth, mHeight, 0, t.format,
                     GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        RUV_CHECK_GL();
    }

    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, mTexLeft.get(), 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT1, GL_TEXTURE_2D, mTexRight.get(), 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, mTexDepth.get(), 0);
    RUV_CHECK_GL();
    reportStatus();  // while our framebuffer is the bound one
    glBindFramebuffer(GL_FRAMEBUFFER, hostFramebuffer);
    RUV_CHECK_GL();
    glBindTexture(GL_TEXTURE_2D, 0);
}

void CStereoFramebuffer::ensureSize(int width, int height, GLuint hostFramebuffer) {
    if (!mFbo || (width <= mWidth && height <= mHeight))
        return;
    allocate(std::max(width, mWidth), std::max(height, mHeight), hostFramebuffer);
}

void CStereoFramebuffer::release() {
    mFbo.reset();
    mTexLeft.reset();
    mTexRight.reset();
    mTexDepth.reset();
    mWidth = mHeight = 0;
}
