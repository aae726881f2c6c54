#include "screenshot.h"

#include "glHelper.h"
#include "glObject.h"
#include "pngio.h"

#include <sys/stat.h>

#include <cstdio>
#include <vector>

std::string numberedName(const char* format, int n) {
    char name[64];
    std::snprintf(name, sizeof name, format, n);
    return name;
}

int firstFreeNumber(const char* format, int start) {
    struct stat st;
    int n = start;
    while (n < 1000000 && ::stat(numberedName(format, n).c_str(), &st) == 0)
        ++n;
    return n;
}

bool saveFramebufferPng(GLuint source, int width, int height, const std::string& path) {
    if (width <= 0 || height <= 0)
        return false;
    while (glGetError() != GL_NO_ERROR) {
    }

    // A multisampled framebuffer cannot be read directly: resolve it with a blit of the
    // same size (a scaled one fails) into a single-sample one.
    CGLRenderbuffer color;
    glGenRenderbuffers(1, color.out());
    glBindRenderbuffer(GL_RENDERBUFFER, color.get());
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    CGLFramebuffer resolved;
    glGenFramebuffers(1, resolved.out());
    glBindFramebuffer(GL_FRAMEBUFFER, resolved.get());
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color.get());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
    glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);

    std::vector<unsigned char> rgb(size_t(width) * size_t(height) * 3, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, resolved.get());
    const CPixelStoreGuard pixelStore;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    const GLenum failure = glGetError();
    glBindFramebuffer(GL_FRAMEBUFFER, source);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    if (failure != GL_NO_ERROR) {
        RUV_WARNING(std::string("could not read the frame for ") + path + ": " +
                    glErrorName(failure));
        return false;
    }

    SImage frame;
    frame.mWidth = width;
    frame.mHeight = height;
    frame.mChannels = 3;
    frame.mBitDepth = 8;
    frame.mPixels = rgb.data();  // stays owned by the vector
    return writePngFile(path.c_str(), frame);
}
