// The shader texts as the program finds them (compiled in, unless a file of the same
// name lies in the working directory) build and draw on real GL.
#include "CAnaglyphRenderer.h"
#include "GLSLShader.h"
#include "GLTestContext.h"
#include "shadersource.h"

#include <gmock/gmock.h>

#include <cstdint>

namespace {
class BuiltInShaders : public GLTest {
protected:
    void TearDown() override {
        GLSLShader::destroy();
        GLTestContext::release();
    }
};
}  // namespace

TEST_F(BuiltInShaders, AnaglyphProgramFromTheResourcesDraws) {
    const std::string vertex = findShaderSource("stereo.vs", ":/shaders/stereo.vs");
    const std::string fragment = findShaderSource("stereo.fs", ":/shaders/stereo.fs");
    ASSERT_EQ(fragment[0], '*') << "a stereo.fs in the test's working directory";

    testing::internal::CaptureStderr();
    CAnaglyphRenderer renderer;
    renderer.init(vertex.c_str(), fragment.c_str());
    renderer.setFilterParameters(0.925951f, 0.0611928f, 0.00942937f, 0.87051f, 1.0f);
    testing::internal::GetCapturedStderr();
    renderer.setRemoveHalos(false);
    renderer.setFullColor();

    // Left (0.8, 0.1, 0.1) and right (0.2, 0.6, 0.4): red from the left view, green and
    // blue from the right one.
    TestFramebuffer fb(4, 4);  // first: making it unbinds the texture of unit 0
    const uint8_t left[3] = {204, 26, 26}, right[3] = {51, 153, 102};
    glActiveTexture(GL_TEXTURE1);
    const GLuint rightTexture = uploadRgbTexture(1, 1, right);
    glActiveTexture(GL_TEXTURE0);
    const GLuint leftTexture = uploadRgbTexture(1, 1, left);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    renderer.draw(1.0f, 1.0f);
    const RGBA pixel = fb.pixel(2, 2);
    EXPECT_NEAR(pixel[0], 204, 1);
    EXPECT_NEAR(pixel[1], 153, 1);
    EXPECT_NEAR(pixel[2], 102, 1);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glDeleteTextures(1, &leftTexture);
    glDeleteTextures(1, &rightTexture);
}

TEST_F(BuiltInShaders, GrayProgramFromTheResourcesDraws) {
    GLSLProgram* program =
        GLSLShader::instance().createAndBuild({findShaderSource("gray.vs", ":/shaders/gray.vs")},
                                              {findShaderSource("gray.fs", ":/shaders/gray.fs")});
    ASSERT_NE(program, nullptr);
    TestFramebuffer fb(4, 4);
    const uint8_t red[3] = {255, 0, 0};
    const GLuint texture = uploadRgbTexture(1, 1, red);
    glDisable(GL_DEPTH_TEST);
    glUseProgram(program->id.get());
    glUniform1i(glGetUniformLocation(program->id.get(), "tex"), 0);
    glEnable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1, 1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, 1);
    glEnd();
    glUseProgram(0);
    glDisable(GL_TEXTURE_2D);
    EXPECT_NEAR(fb.pixel(2, 2)[0], 77, 1);  // 0.3 of full red
    glDeleteTextures(1, &texture);
}
