#include "GLTestContext.h"

class Glh : public GLTest {};

TEST_F(Glh, VersionsUpToTheContextsAreSupported) {
    EXPECT_TRUE(glhUnsupported("GL_VERSION_1_1 GL_VERSION_2_0 GL_VERSION_2_1").empty());
    const int v = epoxy_gl_version();
    const std::string tooNew = "GL_VERSION_" + std::to_string(v / 10 + 1) + "_0";
    EXPECT_EQ(glhUnsupported(tooNew), std::vector<std::string>{tooNew});
}

TEST_F(Glh, ReportsUnknownNamesInListOrder) {
    const auto missing = glhUnsupported(
        "  GL_ARB_multitexture GL_RUVELLO_no_such_extension\tGL_EXT_framebuffer_object "
        "GL_VERSION_9_9 GL_VERSION_x ");
    EXPECT_EQ(missing, (std::vector<std::string>{"GL_RUVELLO_no_such_extension", "GL_VERSION_9_9",
                                                 "GL_VERSION_x"}));
}

TEST_F(Glh, InitKeepsTheUnsupportedNamesOfTheLastList) {
    EXPECT_FALSE(glhInit("GL_ARB_multitexture GL_foo GL_bar"));
    EXPECT_EQ(glhGetUnsupported(), "GL_foo GL_bar");
    EXPECT_TRUE(glhInit("GL_ARB_multitexture"));
    EXPECT_EQ(glhGetUnsupported(), "");
    EXPECT_TRUE(glhInit(""));
    EXPECT_TRUE(glhInit(nullptr));
}
