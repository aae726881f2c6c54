#include "GLTestContext.h"
#include "glHelper.h"
#include "glObject.h"

#include <gmock/gmock.h>

#include <cstdlib>
#include <vector>

using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

class GLDiagnostics : public GLTest {};

TEST(GLErrorNames, ClassicCodesAndUnknown) {
    EXPECT_STREQ(glErrorName(1280), "GL_INVALID_ENUM");
    EXPECT_STREQ(glErrorName(1281), "GL_INVALID_VALUE");
    EXPECT_STREQ(glErrorName(1282), "GL_INVALID_OPERATION");
    EXPECT_STREQ(glErrorName(1283), "GL_STACK_OVERFLOW");
    EXPECT_STREQ(glErrorName(1284), "GL_STACK_UNDERFLOW");
    EXPECT_STREQ(glErrorName(1285), "GL_OUT_OF_MEMORY");
    EXPECT_STREQ(glErrorName(1279), "UNKNOWN");
    EXPECT_STREQ(glErrorName(1286), "UNKNOWN");
    EXPECT_STREQ(glErrorName(0xFFFFFFFFu), "UNKNOWN");
}

TEST_F(GLDiagnostics, CheckGLErrorReportsRealErrorsByName) {
    TestFramebuffer fb(4, 4);  // drawing without a framebuffer is an error of its own
    CaptureStderr();
    checkGLError("src/a.cpp", 10);  // no error: nothing
    glEnable(0x7FFF);
    checkGLError("src/a.cpp", 11);
    checkGLError("src/a.cpp", 12);  // fetched by the call before
    glEnd();                        // without glBegin
    checkGLError("src/a.cpp", 13);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, -1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    checkGLError("src/a.cpp", 14);
    EXPECT_EQ(GetCapturedStderr(),
              "src/a.cpp(11): GLError GL_INVALID_ENUM\n"
              "src/a.cpp(13): GLError GL_INVALID_OPERATION\n"
              "src/a.cpp(14): GLError GL_INVALID_VALUE\n");
}

TEST_F(GLDiagnostics, NewerErrorCodesAreUnknown) {
    // Clearing into an incomplete framebuffer gives GL_INVALID_FRAMEBUFFER_OPERATION,
    // which the classic table does not name.
    GLuint fbo = 0;
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glClear(GL_COLOR_BUFFER_BIT);
    CaptureStderr();
    checkGLError("x.cpp", 1);
    EXPECT_EQ(GetCapturedStderr(), "x.cpp(1): GLError UNKNOWN\n");
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &fbo);
}

TEST_F(GLDiagnostics, MissingRequiredFeatureGivesTheErrorBlock) {
    CaptureStderr();
    EXPECT_FALSE(reportGLFeatures("GL_ARB_multitexture GL_RUVELLO_missing GL_VERSION_9_0", true));
    const std::string text = GetCapturedStderr();
    const std::string extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    EXPECT_THAT(text,
                HasSubstr(") ERROR: You don't have all necessary extensions!\n"
                          "glGetString(GL_EXTENSIONS) says:\n" +
                          extensions + "\nyou do not have: GL_RUVELLO_missing GL_VERSION_9_0\n\n"));
    EXPECT_EQ(text.rfind("src/glHelper/glHelper.cpp(", 0), 0u);
}

TEST_F(GLDiagnostics, MissingOptionalFeatureOnlyWarns) {
    CaptureStderr();
    EXPECT_FALSE(reportGLFeatures("GL_RUVELLO_optional", false));
    EXPECT_THAT(GetCapturedStderr(),
                HasSubstr(") WARNING: You don't have all extensions supported, quality will be "
                          "reduced!\nglGetString(GL_EXTENSIONS) says:\n"));
    CaptureStderr();
    EXPECT_TRUE(reportGLFeatures(kRequiredGLFeatures, true));
    EXPECT_TRUE(reportGLFeatures(kOptionalGLFeatures, false));
    EXPECT_EQ(GetCapturedStderr(), "");
}

TEST_F(GLDiagnostics, StartUpSaysWhichRequiredFeatureIsMissingAndFails) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A fresh process, so that this is the first start-up whatever ran before; the
    // host, not the framework, ends it.
    EXPECT_EXIT(
        {
            TestHost host;
            std::exit(initGLHelper(host, "GL_VERSION_2_0 GL_RUVELLO_no_such_feature") ? 0 : 3);
        },
        testing::ExitedWithCode(3),
        "ERROR: You don't have all necessary extensions!(.|\n)*"
        "you do not have: GL_RUVELLO_no_such_feature");
}

TEST_F(GLDiagnostics, FirstStartUpSetsTheFixedStateAndAsksForSynchronisedSwaps) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A fresh process, so that this is the first start-up whatever ran before.
    auto firstStartUp = [] {
        TestHost host;
        glClearColor(0.5f, 0.5f, 0.5f, 0.5f);
        glEnable(GL_LIGHT0);
        initGLHelper(host);
        GLfloat clear[4] = {1, 1, 1, 1};
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
        GLfloat width = 0;
        glGetFloatv(GL_LINE_WIDTH, &width);
        const bool ok = clear[0] == 0 && clear[3] == 0 && glIsEnabled(GL_BLEND) &&
                        glIsEnabled(GL_LINE_SMOOTH) && glIsEnabled(GL_COLOR_MATERIAL) &&
                        !glIsEnabled(GL_LIGHT0) && width == 1.5f && host.mSwapInterval == 1;
        std::exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(firstStartUp(), testing::ExitedWithCode(0), "");
}

TEST_F(GLDiagnostics, StartUpRunsOncePerProcess) {
    TestHost host;
    initGLHelper(host);  // the first call of this process, or a later one
    glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
    host.mSwapInterval = -1;
    CaptureStderr();
    // A list that would end the process proves that the check is not made again.
    initGLHelper(host, "GL_RUVELLO_missing", "GL_RUVELLO_missing_too");
    EXPECT_EQ(GetCapturedStderr(), "");
    GLfloat clear[4] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_FLOAT_EQ(clear[0], 0.25f);
    EXPECT_FLOAT_EQ(clear[2], 0.75f);
    EXPECT_EQ(host.mSwapInterval, -1);
}

TEST(SwapInterval, WarnsNamingWhatFailedOnlyWhenRefused) {
    TestHost host;
    CaptureStderr();
    setSwapInterval(host, 1);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(host.mSwapInterval, 1);

    host.mSwapFailure = "the surface format gives swap interval 0";
    CaptureStderr();
    setSwapInterval(host, 1);
    EXPECT_THAT(GetCapturedStderr(),
                HasSubstr(") WARNING: swap interval 1 not set: the surface format gives swap "
                          "interval 0\n"));
}

// The guards' lifetime rule on real names: each name is deleted exactly once, when
// the guard that holds it goes or takes another, and never by a guard that gave it on.
TEST_F(GLDiagnostics, NameGuardsDeleteEachNameOnceAndOnlyTheirOwn) {
    GLuint first = 0, second = 0;
    {
        CGLTexture a;
        glGenTextures(1, a.out());
        first = a.get();
        glBindTexture(GL_TEXTURE_2D, first);  // a name is a texture once bound
        EXPECT_TRUE(glIsTexture(first));

        CGLTexture b(std::move(a));
        EXPECT_EQ(a.get(), 0u);
        EXPECT_EQ(b.get(), first);

        // A vector that shifts its elements, as the view's picture cache does, deletes
        // nothing of what it keeps.
        std::vector<CGLTexture> list;
        list.push_back(std::move(b));
        list.emplace_back();
        glGenTextures(1, list.back().out());
        second = list.back().get();
        glBindTexture(GL_TEXTURE_2D, second);
        CGLTexture kept = std::move(list.front());
        list.erase(list.begin());
        EXPECT_TRUE(glIsTexture(first));
        EXPECT_TRUE(glIsTexture(second));

        // Taking another name deletes the one held.
        kept.reset(list.front().release());
        EXPECT_FALSE(glIsTexture(first));
        EXPECT_TRUE(glIsTexture(second));
        list.clear();  // gave its name on: deletes nothing
        EXPECT_TRUE(glIsTexture(second));
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    EXPECT_FALSE(glIsTexture(second));
}

TEST_F(GLDiagnostics, ReleasedNameOutlivesItsGuard) {
    GLuint name = 0;
    {
        CGLFramebuffer guard;
        glGenFramebuffers(1, guard.out());
        glBindFramebuffer(GL_FRAMEBUFFER, guard.get());
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        name = guard.release();
    }
    EXPECT_TRUE(glIsFramebuffer(name));
    glDeleteFramebuffers(1, &name);
}
