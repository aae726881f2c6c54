// At two device pixels per logical pixel the view works in device pixels: its window
// state, the mouse, and 1:1 meaning one picture pixel per device pixel.
#include "CRuvello.h"
#include "GLWidget.h"
#include "SUI.h"
#include "exif.h"
#include "screentext.h"
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

// The note over a file that cannot be read, read off the frame by OCR: with twice the
// pixels the text is drawn at twice the size, and must be as whole as at one.
TEST(GLWidgetHiDpi, TheNotesOverTheViewCanBeRead) {
    ASSERT_TRUE(canReadScreen()) << "tesseract is missing: tools/install-deps.sh test installs it";
    CTempFolder folder;
    const std::string path = folder.path("notes.jpg");
    folder.write("notes.jpg", {'h', 'e', 'l', 'l', 'o', '\n'});
    // A picture shown first, so that the view has uploaded a texture before it writes.
    const std::string stripes = folder.path("stripes.png");
    writePng(stripes, stripePicture(151, 101));

    GLWidget view;
    view.resize(400, 200);
    view.loadPicture(QByteArray::fromStdString(stripes));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    ASSERT_TRUE(waitComplete(view));
    view.loadPicture(QByteArray::fromStdString(path));
    ASSERT_TRUE(waitComplete(view));
    const QImage frame = settledFrame(view);
    const QString read = readOnScreen(frame, QRect(0, 0, frame.width(), 120));
    EXPECT_TRUE(read.contains("not a jpeg")) << "OCR read: " << read.toStdString();
}
