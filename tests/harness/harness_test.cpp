// The harness itself: a real context draws known colours into a framebuffer object
// and the pixels come back where they were drawn.
#include "GLTestContext.h"

class Harness : public GLTest {};

TEST_F(Harness, ContextIsDesktopGLWithFixedFunction) {
    EXPECT_TRUE(epoxy_is_desktop_gl());
    EXPECT_GE(epoxy_gl_version(), 21);
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    ASSERT_NE(version, nullptr);
    std::printf("GL_VERSION %s, GL_RENDERER %s\n", version, glGetString(GL_RENDERER));
}

TEST_F(Harness, DrawsAndReadsBackKnownColours) {
    TestFramebuffer fb(64, 32);
    ASSERT_TRUE(fb.complete());
    glDisable(GL_DEPTH_TEST);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    // Left half green, a blue square in the upper right quarter.
    drawRect(-1.0f, -1.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f);
    drawRect(0.5f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    EXPECT_EQ(fb.pixel(0, 0), (RGBA{0, 255, 0, 255}));
    EXPECT_EQ(fb.pixel(31, 31), (RGBA{0, 255, 0, 255}));
    EXPECT_EQ(fb.pixel(32, 0), (RGBA{255, 0, 0, 255}));
    EXPECT_EQ(fb.pixel(63, 31), (RGBA{0, 0, 255, 255}));
    EXPECT_EQ(fb.pixel(63, 15), (RGBA{255, 0, 0, 255}));

    // Bottom row first, as glReadPixels gives it.
    const std::vector<uint8_t> all = fb.pixels();
    ASSERT_EQ(all.size(), 64u * 32u * 4u);
    const size_t topRight = (31 * 64 + 63) * 4;
    EXPECT_EQ(all[topRight + 2], 255);
    EXPECT_EQ(all[0 + 1], 255);
}

TEST_F(Harness, GreyLevelsSurviveTheRoundTrip) {
    TestFramebuffer fb(8, 8);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    for (int level : {0, 1, 100, 127, 128, 150, 254, 255}) {
        const float v = level / 255.0f;
        drawRect(-1.0f, -1.0f, 1.0f, 1.0f, v, v, v);
        EXPECT_EQ(fb.pixel(4, 4)[1], level);
    }
}
