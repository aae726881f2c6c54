// At two device pixels per logical pixel the view works in device pixels: its window
// state, the mouse, and 1:1 meaning one picture pixel per device pixel.
#include "CRuvello.h"
#include "GLWidget.h"
#include "SUI.h"
#include "exif.h"
#include "tempfolder.h"
#include "viewfixtures.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

using namespace viewfix;

TEST(GLWidgetHiDpi, OnePicturePixelCoversOneDevicePixelAtOneToOne) {
    CTempFolder folder;
    const std::string path = folder.path("stripes.png");
    const SRgb stripes = stripePicture(150, 100);
    writePng(path, stripes);

    GLWidget view;
    view.resize(200, 150);
    view.loadPicture(QByteArray::fromStdString(path));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    ASSERT_EQ(view.devicePixelRatioF(), 2.0);
    ASSERT_TRUE(waitComplete(view));
    EXPECT_EQ(view.glutWindow().mWidth, 400);
    EXPECT_EQ(view.glutWindow().mHeight, 300);

    QTest::keyClick(&view, Qt::Key_Z);
    EXPECT_EQ(view.application()->ui().mZoom, 1.0f);
    const QImage frame = settledFrame(view);
    ASSERT_EQ(frame.width(), 400);
    const QPoint origin = pictureOrigin(view);
    int worst = 0;
    for (int y = 0; y < stripes.mHeight; ++y)
        for (int x = 0; x < stripes.mWidth; ++x) {
            const QColor c = frame.pixelColor(origin.x() + x, origin.y() + y);
            const uint8_t* e = stripes.at(x, y);
            worst = std::max({worst, std::abs(c.red() - e[0]), std::abs(c.green() - e[1]),
                              std::abs(c.blue() - e[2])});
        }
    EXPECT_LE(worst, 2);

    // Mouse positions reach the view in device pixels too.
    const QPointF at(50, 40);
    QMouseEvent move(QEvent::MouseMove, at, view.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
    EXPECT_EQ(view.glutWindow().mCurX, 100);
    EXPECT_EQ(view.glutWindow().mCurY, 80);
}
