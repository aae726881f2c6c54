// The main window with its GL view on a real display and real OpenGL.
#include "CImgWindow.h"
#include "CRuvello.h"
#include "GLWidget.h"
#include "tempfolder.h"
#include "viewfixtures.h"

#include <QTest>

#include <gtest/gtest.h>

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

TEST(GLWidget, MainWindowShowsTheEmptyViewInBlack) {
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
        // The image view clears to black; with no picture that is all there is.
        const QColor centre = frame.pixelColor(frame.width() / 2, frame.height() / 2);
        EXPECT_EQ(centre.red(), 0);
        EXPECT_EQ(centre.green(), 0);
        EXPECT_EQ(centre.blue(), 0);

        // The window state follows the view's size.
        EXPECT_EQ(view->glutWindow().mWidth, int(view->width() * view->devicePixelRatio()));
        EXPECT_GT(view->screenWidth(), 0);
        EXPECT_NE(view->defaultFramebuffer(), 0u);
    }
    const std::string console = GetCapturedStderr();
    EXPECT_EQ(console.find("ERROR"), std::string::npos) << console;
    EXPECT_EQ(console.find("GLError"), std::string::npos) << console;
}

TEST(GLWidget, PictureNamedAtStartUpIsShown) {
    CTempFolder folder;
    const std::string path = folder.path("start.png");
    viewfix::writePng(path, viewfix::wavePicture(90, 70, 12));
    CImgWindow window(QString::fromStdString(path));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    GLWidget* view = window.glWidget();
    ASSERT_TRUE(viewfix::waitComplete(*view));
    EXPECT_EQ(view->application()->fileName(), path);
    EXPECT_EQ(view->application()->imageWidth(), 90);
    EXPECT_EQ(view->application()->imageHeight(), 70);
}
