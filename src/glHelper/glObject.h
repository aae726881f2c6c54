#pragma once
// One lifetime rule for GL objects that live in a scope: the name is deleted when the
// guard goes, on every path out. The context must be current then.
#include "glh.h"

template <void (*Delete)(GLuint)>
class CGLName {
public:
    explicit CGLName(GLuint name = 0) : mName(name) {}
    ~CGLName() {
        if (mName != 0)
            Delete(mName);
    }
    CGLName(const CGLName&) = delete;
    CGLName& operator=(const CGLName&) = delete;

    GLuint get() const { return mName; }
    GLuint* out() { return &mName; }

private:
    GLuint mName;
};

inline void deleteFramebuffer(GLuint name) {
    glDeleteFramebuffers(1, &name);
}
inline void deleteRenderbuffer(GLuint name) {
    glDeleteRenderbuffers(1, &name);
}
inline void deleteTexture(GLuint name) {
    glDeleteTextures(1, &name);
}

using CGLFramebuffer = CGLName<deleteFramebuffer>;
using CGLRenderbuffer = CGLName<deleteRenderbuffer>;
using CGLTexture = CGLName<deleteTexture>;
