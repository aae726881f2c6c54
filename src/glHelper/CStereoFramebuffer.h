#pragma once
// The framebuffer object into which a stereo frame renders its two views, one colour
// texture per eye and a shared depth texture. The textures are at least as large as
// the screen and the drawing area, and grow when either outgrows them.
#include "glObject.h"

// The console line for a completeness status; empty for a complete framebuffer.
const char* framebufferStatusText(GLenum status);

class CStereoFramebuffer {
public:
    // The GL objects go with the framebuffer; the context they were made in must be
    // current then.

    // Makes the framebuffer and texture names; nothing when they exist.
    void create();
    // Sizes the textures to width x height (at least 1 x 1), attaches them and reports
    // the completeness of the framebuffer while it is bound. hostFramebuffer is bound
    // afterwards.
    void allocate(int width, int height, GLuint hostFramebuffer);
    // Grows the textures when the drawing area or the screen has outgrown them.
    void ensureSize(int width, int height, GLuint hostFramebuffer);
    // Prints the status line of the framebuffer currently bound to GL_FRAMEBUFFER.
    static void reportStatus();
    // Deletes the GL objects (context current).
    void release();

    CGLFramebuffer mFbo;
    CGLTexture mTexLeft, mTexRight, mTexDepth;
    int mWidth = 0, mHeight = 0;
};
