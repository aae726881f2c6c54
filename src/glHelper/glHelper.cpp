#include "glHelper.h"

#include "CAppHost.h"

#include <cstdlib>
#include <string>

const char* const kRequiredGLFeatures =
    "GL_VERSION_2_0 GL_ARB_shading_language_100 GL_ARB_fragment_shader "
    "GL_ARB_vertex_buffer_object GL_EXT_framebuffer_object GL_ARB_multitexture";
const char* const kOptionalGLFeatures = "GL_ARB_multisample";

namespace {
bool gGLHelperInitialised = false;

void setFixedGLState() {
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_LINE_SMOOTH);
    glEnable(GL_BLEND);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glLineWidth(1.5f);
    glShadeModel(GL_SMOOTH);

    const GLfloat specular[] = {1.0f, 1.0f, 1.0f, 1.0f};
    const GLfloat ambientDiffuse[] = {0.0f, 0.678f, 0.0f, 1.0f};
    const GLfloat lightPosition[] = {1.0f, 1.0f, 10.0f, 0.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 50.0f);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, ambientDiffuse);
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
    glEnable(GL_COLOR_MATERIAL);
    glDisable(GL_LIGHT0);
}
}  // namespace

const char* glErrorName(unsigned code) {
    switch (code) {
        case GL_INVALID_ENUM:
            return "GL_INVALID_ENUM";
        case GL_INVALID_VALUE:
            return "GL_INVALID_VALUE";
        case GL_INVALID_OPERATION:
            return "GL_INVALID_OPERATION";
        case GL_STACK_OVERFLOW:
            return "GL_STACK_OVERFLOW";
        case GL_STACK_UNDERFLOW:
            return "GL_STACK_UNDERFLOW";
        case GL_OUT_OF_MEMORY:
            return "GL_OUT_OF_MEMORY";
        default:
            return "UNKNOWN";
    }
}

void checkGLError(const char* file, int line) {
    const GLenum code = glGetError();
    if (code == GL_NO_ERROR)
        return;
    // Not a warning: scripts and people know this line in its own form.
    setConsoleColor(CONSOLE_RED);
    consoleLine(std::string(file) + "(" + std::to_string(line) + "): GLError " + glErrorName(code));
    setConsoleColor(CONSOLE_NORMAL);
}

bool reportGLFeatures(const char* list, bool required) {
    if (glhInit(list))
        return true;
    const GLubyte* extensions = glGetString(GL_EXTENSIONS);
    std::string text = required
                           ? "You don't have all necessary extensions!\n"
                           : "You don't have all extensions supported, quality will be reduced!\n";
    text += "glGetString(GL_EXTENSIONS) says:\n";
    text += extensions ? reinterpret_cast<const char*>(extensions) : "";
    text +=
        "\nyou do not have: " + glhGetUnsupported() + "\n";  // the report adds the second line end
    if (required)
        RUV_ERROR(text);
    else
        RUV_WARNING(text);
    return false;
}

bool initGLHelper(CAppHost& host, const char* required, const char* optional) {
    if (gGLHelperInitialised)
        return true;
    if (!reportGLFeatures(required, true))
        return false;
    gGLHelperInitialised = true;
    reportGLFeatures(optional, false);
    setFixedGLState();
    setSwapInterval(host, 1);
    return true;
}

void setSwapInterval(CAppHost& host, int interval) {
    const std::string failure = host.setSwapInterval(interval);
    if (!failure.empty())
        RUV_WARNING("swap interval " + std::to_string(interval) + " not set: " + failure);
}
