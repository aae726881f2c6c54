// The main window with its GL view on a real display and real OpenGL.
#include "CImgWindow.h"
#include "GLWidget.h"

#include <QTest>

#include <gtest/gtest.h>

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

TEST(GLWidget, MainWindowShowsTheViewInItsBackgroundColour) {
    CaptureStderr();
    {
        CImgWindow window;
        EXPECT_EQ(window.windowTitle(), "Ruvello");
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        GLWidget* view = window.glWidget();
        ASSERT_TRUE(QTest::qWaitFor([view] { return view->isValid(); }, 5000));

        const QImage frame = view->grabFramebuffer();
        ASSERT_FALSE(frame.isNull());
        const QColor expected = QColor::fromCmykF(0.4f, 0.0f, 1.0f, 0.0f).darker(200);
        const QColor centre = frame.pixelColor(frame.width() / 2, frame.height() / 2);
        EXPECT_NEAR(centre.red(), expected.red(), 1);
        EXPECT_NEAR(centre.green(), expected.green(), 1);
        EXPECT_NEAR(centre.blue(), expected.blue(), 1);

        // The window state follows the view's size.
        EXPECT_EQ(view->glutWindow().mWidth, int(view->width() * view->devicePixelRatio()));
        EXPECT_GT(view->screenWidth(), 0);
        EXPECT_NE(view->defaultFramebuffer(), 0u);
    }
    const std::string console = GetCapturedStderr();
    EXPECT_EQ(console.find("ERROR"), std::string::npos) << console;
    EXPECT_EQ(console.find("GLError"), std::string::npos) << console;
}
