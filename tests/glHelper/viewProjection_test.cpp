// The plain arithmetic of the GL application: projections, animation steps and the
// framebuffer status lines (of which Mesa can provoke only two).
#include "CStereoFramebuffer.h"
#include "SAnimation.h"
#include "viewProjection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(ViewProjection, EyesShiftOppositeWaysAndQuadrantsTakeAQuarterEach) {
    SProjectionInput in;
    in.viewWidth = in.windowWidth = 800;
    in.viewHeight = in.windowHeight = 600;
    in.stereo = true;
    in.leftEye = true;
    const SProjection left = computeProjection(in);
    in.leftEye = false;
    const SProjection right = computeProjection(in);
    EXPECT_NEAR(left.eyeOffset, 0.0335, 1e-9);
    EXPECT_NEAR(right.eyeOffset, -0.0335, 1e-9);
    EXPECT_NEAR(left.right - left.left, right.right - right.left, 1e-12);
    EXPECT_GT(left.left, right.left);  // frustum shifted with the eye
    EXPECT_NEAR(left.zNear, 0.4 * 0.4, 1e-6);
    EXPECT_EQ(left.viewport[2], 800);

    in.quadrants = true;
    in.pixelMode = true;
    in.firstColumn = false;
    const SProjection q = computeProjection(in);
    EXPECT_EQ(q.viewport[0], 400);
    EXPECT_EQ(q.viewport[1], 300);  // right eye: top row
    EXPECT_EQ(q.viewport[2], 400);
    EXPECT_EQ(q.viewport[3], 300);
    EXPECT_EQ(q.left, 400 - 320);
    EXPECT_EQ(q.right, 800 - 320);
}

TEST(SAnimation, StepsPerDegreeAndAbsurdAnglesStayBounded) {
    EXPECT_EQ(SAnimation::stepsFor(-1.5707963f, 0.0f), 90);
    EXPECT_EQ(SAnimation::stepsFor(0.0f, 0.0f), 0);
    EXPECT_EQ(SAnimation::stepsFor(1e38f, 0.0f), SAnimation::kMaxSteps);
    EXPECT_EQ(SAnimation::stepsFor(std::numeric_limits<float>::infinity(), 0.0f),
              SAnimation::kMaxSteps);
    EXPECT_EQ(SAnimation::stepsFor(std::nanf(""), 0.0f), 0);

    float angle = 0.0f;
    SAnimation none(&angle, 0.0f);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(none.advance());
    float turned = 1.5707963f;
    SAnimation quarter(&turned, 0.0f);
    int steps = 1;
    while (quarter.advance())
        ++steps;
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(steps, 90);
    EXPECT_FLOAT_EQ(turned, 0.0f);
    EXPECT_NEAR(SEaseCurve{2.0f}(0.5f), 0.5f, 1e-6);
    EXPECT_NEAR(SEaseCurve{2.0f}(1.0f), 1.0f, 1e-6);
}

TEST(StereoFramebuffer, StatusLines) {
    EXPECT_STREQ(framebufferStatusText(GL_FRAMEBUFFER_COMPLETE), "");
    EXPECT_STREQ(framebufferStatusText(GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT),
                 "Framebuffer incomplete, missing attachment\n");
    EXPECT_STREQ(framebufferStatusText(GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE),
                 "Framebuffer incomplete multisampling\n");
    EXPECT_STREQ(framebufferStatusText(GL_FRAMEBUFFER_UNSUPPORTED), "Framebuffer unsupported\n");
    EXPECT_STREQ(framebufferStatusText(0x1234), "Framebuffer: unknown error\n");
}
