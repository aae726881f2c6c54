#pragma once
// One lifetime rule for GL names: a guard owns one name and deletes it when it goes or
// takes another, on every path out. The context the name was made in must be current
// then. Guards move, so that objects holding them can be kept in containers.
#include "glh.h"

template <void (*Delete)(GLuint)>
class CGLName {
public:
    explicit CGLName(GLuint name = 0) : mName(name) {}
    ~CGLName() { reset(); }
    CGLName(const CGLName&) = delete;
    CGLName& operator=(const CGLName&) = delete;
    CGLName(CGLName&& other) noexcept : mName(other.release()) {}
    CGLName& operator=(CGLName&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    GLuint get() const { return mName; }
    explicit operator bool() const { return mName != 0; }
    // Where a glGen* call writes the new name; a name held until then is deleted first.
    GLuint* out() {
        reset();
        return &mName;
    }
    // Deletes the name held and takes the given one.
    void reset(GLuint name = 0) {
        if (mName != 0 && mName != name)
            Delete(mName);
        mName = name;
    }
    // Gives the name up without deleting it: for a name whose context is gone, and
    // the name with it.
    GLuint release() {
        const GLuint name = mName;
        mName = 0;
        return name;
    }

private:
    GLuint mName;
};

// The loader's GL entry points are variables, no constants: a template cannot take them.
inline void deleteFramebuffer(GLuint name) {
    glDeleteFramebuffers(1, &name);
}
inline void deleteRenderbuffer(GLuint name) {
    glDeleteRenderbuffers(1, &name);
}
inline void deleteTexture(GLuint name) {
    glDeleteTextures(1, &name);
}
inline void deleteProgram(GLuint name) {
    glDeleteProgram(name);
}
inline void deleteShader(GLuint name) {
    glDeleteShader(name);
}

using CGLFramebuffer = CGLName<deleteFramebuffer>;
using CGLRenderbuffer = CGLName<deleteRenderbuffer>;
using CGLTexture = CGLName<deleteTexture>;
using CGLProgram = CGLName<deleteProgram>;
using CGLShader = CGLName<deleteShader>;

// Pixel-store state (alignment, row length, skips) as it was, back on every path out.
// Whoever changes it puts it back: the toolkit's text drawing uploads its glyphs with
// the default alignment of 4 and reads half of every word as garbage under any other.
class CPixelStoreGuard {
public:
    CPixelStoreGuard() { glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT); }
    ~CPixelStoreGuard() { glPopClientAttrib(); }
    CPixelStoreGuard(const CPixelStoreGuard&) = delete;
    CPixelStoreGuard& operator=(const CPixelStoreGuard&) = delete;
};

// Pixel-store state as a fresh context has it, which other code drawing into the same
// context (the toolkit's painter) takes for granted.
inline void resetPixelStore() {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
}
