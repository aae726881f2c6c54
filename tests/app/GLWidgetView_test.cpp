// The GL view as the program runs it: a real window, real loader threads, real files
// and real OpenGL, read back and compared with what the pictures and the renderer's
// arithmetic say the screen must show.
#include "CPictureSource.h"
#include "CRuvello.h"
#include "GLWidget.h"
#include "SUI.h"
#include "anaglyphMatrices.h"
#include "exif.h"
#include "tempfolder.h"
#include "viewfixtures.h"

#include <QApplication>
#include <QFile>
#include <QOpenGLContext>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

using namespace viewfix;

namespace {

QByteArray bytes(const std::string& path) {
    return QByteArray::fromStdString(path);
}

void showPicture(GLWidget& view, const std::string& path) {
    view.loadPicture(bytes(path));
}

// Largest difference of any channel between the frame and the picture, over the
// picture's middle region (a margin of a quarter on every side) at zoom 1.
int largestDifference(GLWidget& view, const SRgb& expected, int shiftX = 0) {
    const QImage frame = settledFrame(view);
    const QPoint origin = pictureOrigin(view);
    int worst = 0;
    for (int y = expected.mHeight / 4; y < expected.mHeight * 3 / 4; ++y)
        for (int x = expected.mWidth / 4; x < expected.mWidth * 3 / 4; ++x) {
            const QColor c = frame.pixelColor(origin.x() + x + shiftX, origin.y() + y);
            const uint8_t* e = expected.at(x, y);
            worst = std::max({worst, std::abs(c.red() - e[0]), std::abs(c.green() - e[1]),
                              std::abs(c.blue() - e[2])});
        }
    return worst;
}

class GLWidgetView : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(mFolder.path().empty());
        mView.resize(400, 300);
    }
    void show() {
        mView.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&mView));
    }

    CTempFolder mFolder;
    GLWidget mView;
};

}  // namespace

TEST_F(GLWidgetView, StereoFileShowsItsPreviewFirstThenItsPictureAndReportsEachOnce) {
    // Large enough that its decode takes longer than a frame: the preview shows first.
    const SRgb left = wavePicture(2400, 1600, 1), right = wavePicture(2400, 1600, 2);
    const SRgb thumbnail = solidPicture(60, 40, 20, 40, 230);
    const std::string path = mFolder.write("pair.mpo", mpoFile(left, right, &thumbnail));
    show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return mView.isValid(); }, 5000));
    QSignalSpy reported(&mView, &GLWidget::imageLoaded);
    std::vector<SShownPicture> shown;
    std::vector<bool> busy;
    QColor previewCentre;
    QObject::connect(&mView, &GLWidget::pictureShown, [&](const SShownPicture& s) {
        shown.push_back(s);
        busy.push_back(mView.busy());
    });
    // The frame that showed the preview, read back as it stands.
    QObject::connect(&mView, &QOpenGLWidget::frameSwapped, [&] {
        if (shown.size() == 1 && shown[0].state == EShown::Preview && !previewCentre.isValid()) {
            const QImage frame = settledFrame(mView);
            previewCentre = frame.pixelColor(frame.width() / 2, frame.height() / 2);
        }
    });

    showPicture(mView, path);
    EXPECT_TRUE(mView.busy());
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
    ASSERT_TRUE(waitComplete(mView));
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[0].state, EShown::Preview);
    EXPECT_EQ(shown[0].file, path);
    // The preview stands in at the picture's own size, in the thumbnail's colour.
    EXPECT_EQ(shown[0].width, 2400);
    EXPECT_NEAR(previewCentre.blue(), 230, 8);
    EXPECT_NEAR(previewCentre.red(), 20, 8);
    EXPECT_TRUE(busy[0]);
    EXPECT_EQ(shown.back().state, EShown::Full);
    EXPECT_EQ(shown.back().kind, EPictureKind::Mpo);
    EXPECT_FALSE(mView.busy());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    ASSERT_EQ(reported.count(), int(shown.size()));
    EXPECT_EQ(reported.last().at(0).toString(), QFile::decodeName(bytes(path)));
    EXPECT_EQ(reported.last().at(1).toInt(), 2400);
    EXPECT_EQ(reported.last().at(2).toInt(), 1600);
    const int reports = reported.count();
    ASSERT_TRUE(waitFrame(mView));
    ASSERT_TRUE(waitFrame(mView));
    EXPECT_EQ(reported.count(), reports) << "reported again without a change";
}

TEST_F(GLWidgetView, StereoAtOneToOneIsTheAnaglyphOfBothDecodedPictures) {
    const SRgb left = wavePicture(240, 160, 3), right = wavePicture(240, 160, 7);
    const std::string path = mFolder.write("pair.mpo", mpoFile(left, right, nullptr));
    mView.stereo(true);
    showPicture(mView, path);
    show();
    ASSERT_TRUE(waitComplete(mView));
    ASSERT_TRUE(mView.application()->isRightLoaded());
    QTest::keyClick(&mView, Qt::Key_Z);
    EXPECT_EQ(mView.application()->ui().mZoom, 1.0f);

    const SRgb l = decodedPicture(path, false), r = decodedPicture(path, true);
    const CAnaglyphRenderer& renderer = mView.application()->renderer();
    const int halos = renderer.removeHalos ? 1 : 0;
    SRgb expected = l;
    for (int y = 0; y < l.mHeight; ++y)
        for (int x = 0; x < l.mWidth; ++x) {
            const auto c = compositePixel(renderer.fc[halos][renderer.mode],
                                          renderer.filtL[halos][renderer.mode], renderer.mapCol,
                                          renderer.swapped, l.at(x, y), r.at(x, y));
            std::copy(c.begin(), c.end(), &expected.mPixels[(size_t(y) * l.mWidth + x) * 3]);
        }
    EXPECT_LE(largestDifference(mView, expected), 2);
    // Not the left picture alone: the two views really were combined.
    EXPECT_GT(largestDifference(mView, l), 20);
}

TEST_F(GLWidgetView, MonoShowsTheLeftPictureAndArrowKeysShiftByHalfAPixel) {
    const SRgb left = wavePicture(240, 160, 4), right = solidPicture(240, 160, 0, 0, 0);
    const std::string path = mFolder.write("pair.mpo", mpoFile(left, right, nullptr));
    showPicture(mView, path);
    show();
    ASSERT_TRUE(waitComplete(mView));
    EXPECT_FALSE(mView.application()->isRightLoaded()) << "mono needs no second picture";
    QTest::keyClick(&mView, Qt::Key_Z);
    const SRgb decoded = decodedPicture(path, false);
    EXPECT_LE(largestDifference(mView, decoded), 2);

    QTest::keyClick(&mView, Qt::Key_Left);
    EXPECT_EQ(mView.application()->shift(), -0.5f);
    QTest::keyClick(&mView, Qt::Key_Left);
    EXPECT_EQ(mView.application()->shift(), -1.0f);
    // In mono the picture moves right by the shift: one whole device pixel now.
    EXPECT_LE(largestDifference(mView, decoded, 1), 2);
    QTest::keyClick(&mView, Qt::Key_Right);
    QTest::keyClick(&mView, Qt::Key_Right);
    EXPECT_EQ(mView.application()->shift(), 0.0f);
    // With Shift, ten picture pixels a press.
    QTest::keyClick(&mView, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(mView.application()->shift(), 10.0f);
    QTest::keyClick(&mView, Qt::Key_Left);
    EXPECT_EQ(mView.application()->shift(), 9.5f);
}

TEST_F(GLWidgetView, FittingNeverEnlargesPastOneToOne) {
    const std::string small = mFolder.path("small.png"), large = mFolder.path("large.png");
    writePng(small, wavePicture(120, 90, 5));
    writePng(large, wavePicture(1000, 600, 6));
    showPicture(mView, small);
    show();
    ASSERT_TRUE(waitComplete(mView));
    QTest::keyClick(&mView, Qt::Key_X);
    EXPECT_EQ(mView.application()->ui().mZoom, 1.0f);

    showPicture(mView, large);
    ASSERT_TRUE(waitComplete(mView));
    QTest::keyClick(&mView, Qt::Key_X);
    const float zoom = mView.application()->ui().mZoom;
    const CGlutWindow& w = mView.glutWindow();
    EXPECT_NEAR(zoom, std::min(w.mViewWidth / 1000.0f, w.mViewHeight / 600.0f), 1e-4);
    // Going back to a cached picture decodes nothing.
    const int decodes = mView.pictureSource()->counts().started;
    showPicture(mView, small);
    ASSERT_TRUE(waitComplete(mView));
    EXPECT_EQ(mView.pictureSource()->counts().started, decodes);
    EXPECT_EQ(mView.application()->imageWidth(), 120);
}

TEST_F(GLWidgetView, WheelStepsEvery120UnitsAndLeavesUnusedTurnsToTheParent) {
    GLWidget* view = &mView;
    const std::string path = mFolder.path("p.png");
    writePng(path, wavePicture(1000, 800, 8));
    showPicture(*view, path);
    show();
    ASSERT_TRUE(waitComplete(*view));

    auto turn = [&](int delta) {
        const QPointF at(200, 150);
        QWheelEvent event(at, view->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &event);
        return event.isAccepted();
    };
    const float fitted = view->application()->ui().mZoom;
    // Without the zoom lens the view has no use for the wheel; an unaccepted event
    // goes on to the parent widget (a scroll area, say).
    EXPECT_FALSE(turn(120));
    EXPECT_EQ(view->application()->ui().mZoom, fitted);

    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(200, 150));
    ASSERT_TRUE(view->application()->zoomMode());
    EXPECT_FALSE(turn(0));
    EXPECT_FALSE(turn(60)) << "half a step is no step yet";
    EXPECT_EQ(view->application()->ui().mZoom, fitted);
    EXPECT_TRUE(turn(60));
    const float once = view->application()->ui().mZoom;
    EXPECT_NEAR(once, fitted * 1.2589254f, 1e-4);
    EXPECT_TRUE(turn(240));
    EXPECT_NEAR(view->application()->ui().mZoom, once * 1.2589254f * 1.2589254f, 1e-4);
    EXPECT_TRUE(turn(-120));

    // However far the wheel turns, the zoom stops at 64 times 1:1, and turning back
    // brings the whole picture again.
    for (int step = 0; step < 500; ++step)
        turn(120);
    EXPECT_FLOAT_EQ(view->application()->ui().mZoom, 64.0f);
    for (int step = 0; step < 500; ++step)
        turn(-120);
    EXPECT_NEAR(view->application()->ui().mZoom, fitted, 1e-5);
    view->application()->endOverlay();
    const QImage frame = view->grabFramebuffer();
    const QColor centre = frame.pixelColor(frame.width() / 2, frame.height() / 2);
    EXPECT_GT(centre.red() + centre.green() + centre.blue(), 30) << "the picture is back";
}

// The viewing-geometry sketch shows while the window is resized, and half a second after
// the last resize it is gone, with a frame drawn then by itself: however few frames came
// in between (the view repaints only when something changes).
TEST_F(GLWidgetView, TheSketchOfAResizeGoesByItselfHalfASecondLater) {
    show();
    ASSERT_TRUE(waitFrame(mView));
    auto lit = [](const QImage& frame) {
        int count = 0;
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x)
                count += frame.pixelColor(x, y).value() > 40;
        return count;
    };
    mView.resize(420, 300);
    ASSERT_TRUE(waitFrame(mView));
    EXPECT_GT(lit(mView.grabFramebuffer()), 20) << "no sketch while resizing";
    QSignalSpy frames(&mView, &QOpenGLWidget::frameSwapped);
    QTest::qWait(800);
    EXPECT_GE(frames.count(), 1) << "no frame of its own after the moment";
    EXPECT_EQ(lit(mView.grabFramebuffer()), 0) << "the sketch stays";
}

TEST_F(GLWidgetView, NameThatIsNoValidUtf8OpensAndPrefetchedPictureShowsAtOnce) {
    const SRgb picture = wavePicture(200, 120, 9);
    const std::string odd = mFolder.write("caf\xe9-\xff.jpg", jpegFile(picture));
    const std::string next = mFolder.write("next.jpg", jpegFile(wavePicture(180, 100, 10)));
    showPicture(mView, odd);
    show();
    ASSERT_TRUE(waitComplete(mView));
    EXPECT_EQ(mView.application()->imageWidth(), 200) << "not the red picture of a failure";
    QTest::keyClick(&mView, Qt::Key_Z);
    EXPECT_LE(largestDifference(mView, decodedPicture(odd, false)), 2);

    // Read ahead once the current picture is complete, without showing it.
    mView.setReadAhead(bytes(next));
    ASSERT_TRUE(waitFrame(mView));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (const SPictureEntry& e : mView.application()->cache())
                if (e.fileName == next && (e.pendingLeft || e.leftLoaded))
                    return true;
            return false;
        },
        10000));
    EXPECT_EQ(mView.application()->imageWidth(), 200);
    bool recorded = false, loadedAtFirst = false;
    QObject::connect(&mView, &QOpenGLWidget::frameSwapped, [&] {
        if (!recorded)
            loadedAtFirst = mView.application()->isLeftLoaded();
        recorded = true;
    });
    showPicture(mView, next);
    ASSERT_TRUE(waitFrame(mView));
    EXPECT_TRUE(loadedAtFirst);
    EXPECT_EQ(mView.application()->imageWidth(), 180);
}

TEST(GLWidgetContext, ReparentedViewBuildsItsGLAnewAndShowsThePictureAgain) {
    CTempFolder folder;
    const std::string path = folder.path("p.png");
    const SRgb picture = wavePicture(160, 120, 13);
    writePng(path, picture);
    testing::internal::CaptureStderr();
    {
        QWidget first, second;
        first.resize(400, 300);
        second.resize(400, 300);
        GLWidget* view = new GLWidget(&first);
        view->resize(400, 300);
        showPicture(*view, path);
        first.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&first));
        ASSERT_TRUE(waitComplete(*view));

        // A new top-level window gives the view a new context: the old one's textures
        // are gone with it.
        bool oldContextGone = false;
        QObject::connect(view->context(), &QOpenGLContext::aboutToBeDestroyed,
                         [&] { oldContextGone = true; });
        view->setParent(&second);
        view->show();
        second.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&second));
        ASSERT_TRUE(waitComplete(*view));
        EXPECT_TRUE(oldContextGone);
        QTest::keyClick(view, Qt::Key_Z);
        EXPECT_LE(largestDifference(*view, picture), 2);
    }
    const std::string console = testing::internal::GetCapturedStderr();
    EXPECT_EQ(console.find("GLError"), std::string::npos) << console;
}

TEST(GLWidgetLifetime, DestroyedWithAResultStillQueuedLeaksNothing) {
    CTempFolder folder;
    const std::string path = folder.write("p.jpg", jpegFile(wavePicture(320, 240, 11)));
    {
        GLWidget view;
        view.resize(300, 200);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        ASSERT_TRUE(QTest::qWaitFor([&] { return view.isValid(); }, 5000));
        showPicture(view, path);
        // This frame asks for the decode; it finishes while nothing turns the event
        // loop, so its result still waits in the queue when the view goes.
        view.grabFramebuffer();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_FALSE(view.application()->isLeftLoaded());
    }
    // The leak check at exit finds the pixels if the queued call kept them.
    QApplication::processEvents();
}

// Keys that do GL work (reloading the shaders, the side panel's new layout) run with the
// view's context current, also after another call released it.
TEST_F(GLWidgetView, KeysThatDoGLWorkUseTheViewsContext) {
    const std::string path = mFolder.write(
        "pair.mpo", mpoFile(wavePicture(240, 160, 3), wavePicture(240, 160, 7), nullptr));
    mView.stereo(true);
    showPicture(mView, path);
    show();
    ASSERT_TRUE(waitComplete(mView));
    QTest::keyClick(&mView, Qt::Key_Z);
    const QImage before = settledFrame(mView);
    mView.calibrate(true);
    mView.calibrate(false);  // leaves no context current
    testing::internal::CaptureStderr();
    QTest::keyClick(&mView, Qt::Key_R);
    QTest::keyClick(&mView, Qt::Key_P, Qt::ShiftModifier);
    QTest::keyClick(&mView, Qt::Key_P, Qt::ShiftModifier);
    ASSERT_TRUE(waitFrame(mView));
    const QImage after = settledFrame(mView);
    const std::string console = testing::internal::GetCapturedStderr();
    EXPECT_EQ(console.find("Failed"), std::string::npos) << console;
    EXPECT_EQ(console.find("GLError"), std::string::npos) << console;
    const QPoint centre(before.width() / 2, before.height() / 2);
    EXPECT_EQ(after.pixelColor(centre), before.pixelColor(centre)) << "the anaglyph as before";
}
