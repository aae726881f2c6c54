// The GL application on a host that behaves as the toolkit's widget: stereo plumbing,
// recording and replay, and screenshots, with real pixels read back from Mesa.
#include "diagnostics.h"
#include "AppTestHost.h"
#include "CApp.h"
#include "SUI.h"
#include "anaglyphMatrices.h"
#include "pngio.h"
#include "smallfs.h"
#include "tempfolder.h"

#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <limits>
#include <sstream>

using testing::HasSubstr;
using testing::Not;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

using RGB8 = std::array<unsigned char, 3>;

// These tests read the console's informational lines, which show only when verbose.
[[maybe_unused]] static const bool kConsoleVerbose = (setConsoleVerbose(true), true);
const RGB8 kLeft{200, 40, 30}, kRight{20, 150, 220}, kMark{250, 250, 20};

// Views of flat colours in pixel units; the left view has a mark near its top left
// corner, so that a view that is mirrored, shifted or swapped shows.
class CFlatViewsApp : public CApp {
public:
    using CApp::CApp;
    static constexpr int kMark0 = 4, kMark1 = 14;

    void drawLeft() override { drawView(kLeft, true); }
    void drawRight() override { drawView(kRight, false); }
    void drawScene() override { drawView(kLeft, true); }

    int mDraws = 0;

private:
    static void rect(float x0, float y0, float x1, float y1, const RGB8& c) {
        glColor3ub(c[0], c[1], c[2]);
        glBegin(GL_QUADS);
        glVertex2f(x0, y0), glVertex2f(x1, y0), glVertex2f(x1, y1), glVertex2f(x0, y1);
        glEnd();
    }
    void drawView(const RGB8& colour, bool mark) {
        ++mDraws;
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        rect(-2000, -2000, 2000, 2000, colour);
        // The top of the view: the viewport's height in window pixels.
        GLint vp[4];
        glGetIntegerv(GL_VIEWPORT, vp);
        const float top = float(vp[3]);
        if (mark)
            rect(kMark0, top - kMark1, kMark1, top - kMark0, kMark);
    }
};

void expectColour(const RGBA& p, const RGB8& c, int tolerance, const std::string& where) {
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(p[size_t(i)], c[size_t(i)], tolerance) << where << " channel " << i;
}

GLint boundFramebuffer() {
    GLint fbo = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fbo);
    return fbo;
}

// Runs a test in a folder of its own, as the program runs in its working directory.
class InTempFolder {
public:
    InTempFolder() {
        char* old = getcwd(nullptr, 0);
        mOld = old;
        free(old);
        EXPECT_EQ(chdir(mFolder.path().c_str()), 0);
    }
    ~InTempFolder() {
        EXPECT_EQ(chdir(mOld.c_str()), 0);
        chmod(mFolder.path().c_str(), 0700);
    }
    const std::string& path() const { return mFolder.path(); }

private:
    CTempFolder mFolder;
    std::string mOld;
};

class AppFrame : public GLTest, public testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (HasFatalFailure())
            return;
        host = std::make_unique<AppTestHost>(200, 120, GetParam());
        app = std::make_unique<CFlatViewsApp>(&host->mWindow);
        app->ui().m2DPixelMode = true;
        CaptureStderr();
        host->initialize(*app, kStereoVs, kStereoFs);
        GetCapturedStderr();
        app->endOverlay();  // the transient overlay would cover the views
    }
    void TearDown() override {
        if (app)
            app->shutdownGL();
    }

    RGB8 composite(const RGB8& left, const RGB8& right) const {
        const CAnaglyphRenderer& r = app->renderer();
        const int h = r.removeHalos ? 1 : 0;
        return compositePixel(r.fc[h][r.mode], r.filtL[h][r.mode], r.mapCol, r.swapped, left.data(),
                              right.data());
    }

    std::unique_ptr<AppTestHost> host;
    std::unique_ptr<CFlatViewsApp> app;
};

}  // namespace

TEST_P(AppFrame, StereoComposesBothViewsIntoTheHostFramebuffer) {
    app->setStereo(true);
    for (bool halos : {true, false}) {
        app->removeHalos(halos);
        host->paint(*app);
        EXPECT_EQ(boundFramebuffer(), GLint(host->defaultFramebuffer()));
        const std::string name = halos ? "halo removal" : "plain";
        expectColour(host->pixel(100, 60), composite(kLeft, kRight), 2, name + " middle");
        expectColour(host->pixel(199, 0), composite(kLeft, kRight), 2, name + " corner");
        // The mark of the left view, at its place near the top left corner only.
        expectColour(host->pixel(9, 110), composite(kMark, kRight), 2, name + " mark");
        expectColour(host->pixel(190, 110), composite(kLeft, kRight), 2, name + " right edge");
    }
}

TEST_P(AppFrame, MonoDrawsTheSceneDirectly) {
    host->paint(*app);
    EXPECT_EQ(boundFramebuffer(), GLint(host->defaultFramebuffer()));
    expectColour(host->pixel(100, 60), kLeft, 0, "middle");
    expectColour(host->pixel(9, 110), kMark, 0, "mark");
}

TEST_P(AppFrame, FourQuadrantsPutEachEyeInItsRowAndTheOverlayInTheDrawingArea) {
    host->resize(*app, 400, 240);
    app->setStereo(true);
    ASSERT_TRUE(app->keyboard('P'));  // side panel: drawing area 80 x 120
    app->endOverlay();
    host->paint(*app);
    // Left eye in the bottom row, right eye in the top row, both columns.
    expectColour(host->pixel(100, 20), kLeft, 0, "bottom left");
    expectColour(host->pixel(300, 20), kLeft, 0, "bottom right");
    expectColour(host->pixel(100, 200), kRight, 0, "top left");
    expectColour(host->pixel(300, 200), kRight, 0, "top right");
    expectColour(host->pixel(9, 110), kMark, 0, "mark of the first column");
    // The second column shows the scene from x = 200 - 320 on.
    expectColour(host->pixel(200 + 120 + 9, 110), kMark, 0, "mark of the second column");

    // In perspective each eye keeps to its quadrant as well.
    app->ui().m2DPixelMode = false;
    host->paint(*app);
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[2], 80);  // the overlay's viewport: the drawing area
    expectColour(host->pixel(100, 200), kRight, 0, "perspective top left");
    expectColour(host->pixel(300, 20), kLeft, 0, "perspective bottom right");
}

TEST_P(AppFrame, SidePanelOnAWindowNoWiderThanItDrawsTheQuadrantsWithoutGLErrors) {
    host->mWindow.setSidePanel(true);
    for (int width : {200, 320}) {
        host->resize(*app, width, 120);  // no drawing area; the overlay shows again
        CaptureStderr();
        for (int frame = 0; frame < 3; ++frame)
            host->paint(*app);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));  // left by the last frame
        EXPECT_THAT(GetCapturedStderr(), Not(HasSubstr("GLError")));
        expectColour(host->pixel(width * 3 / 4, 100), kRight, 0, "top row");
    }
}

INSTANTIATE_TEST_SUITE_P(SingleAndMultisampled, AppFrame, testing::Values(0, 4));

TEST_F(GLTest, AppFramebufferGrowsWithADrawingAreaLargerThanTheScreen) {
    AppTestHost host(300, 200, 0);
    host.mScreenWidth = 0;  // no screen at all
    host.mScreenHeight = 0;
    CFlatViewsApp app(&host.mWindow);
    app.ui().m2DPixelMode = true;
    CaptureStderr();
    host.initialize(app, kStereoVs, kStereoFs);
    GetCapturedStderr();
    host.resize(app, 640, 360);
    // Made by the first stereo frame, not before: a mono picture never needs it.
    EXPECT_FALSE(app.framebuffer().mFbo);
    app.setStereo(true);
    app.endOverlay();
    host.paint(app);
    EXPECT_EQ(app.framebuffer().mWidth, 640);
    EXPECT_EQ(app.framebuffer().mHeight, 360);
    const CAnaglyphRenderer& r = app.renderer();
    const RGB8 expected =
        compositePixel(r.fc[1][0], r.filtL[1][0], r.mapCol, r.swapped, kLeft.data(), kRight.data());
    expectColour(host.pixel(20, 20), expected, 2, "near corner");
    expectColour(host.pixel(630, 350), expected, 2, "far corner");
    app.shutdownGL();
}

TEST_F(GLTest, AppSecondInitialisationStartsAfresh) {
    AppTestHost host(64, 64, 0);
    CFlatViewsApp app(&host.mWindow);
    CaptureStderr();
    host.initialize(app, kStereoVs, kStereoFs);
    CStereoCalib* first = app.calib();
    app.setStereo(true);
    host.paint(app);
    app.initGL(kStereoVs, kStereoFs);  // as after the widget was reparented
    GetCapturedStderr();
    EXPECT_NE(app.calib(), nullptr);
    EXPECT_NE(app.calib(), first);
    EXPECT_FALSE(app.framebuffer().mFbo);  // the old context's, gone
    host.paint(app);
    EXPECT_TRUE(glIsFramebuffer(app.framebuffer().mFbo.get()));
    EXPECT_NE(app.renderer().program, nullptr);
    app.shutdownGL();
    EXPECT_EQ(app.renderer().program, nullptr);  // the registry that owned it is gone
    EXPECT_EQ(app.calib(), nullptr);
}

namespace {

class AppFiles : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (HasFatalFailure())
            return;
        folder = std::make_unique<InTempFolder>();
        host = std::make_unique<AppTestHost>(200, 120, 4);
        app = std::make_unique<CFlatViewsApp>(&host->mWindow);
        app->ui().m2DPixelMode = true;
        CaptureStderr();
        host->initialize(*app, kStereoVs, kStereoFs);
        GetCapturedStderr();
        app->endOverlay();
    }
    void TearDown() override {
        if (app)
            app->shutdownGL();
        app.reset();
        host.reset();
        folder.reset();
    }
    std::string paintCapturing(int frames = 1) {
        CaptureStderr();
        for (int i = 0; i < frames; ++i)
            host->paint(*app);
        return GetCapturedStderr();
    }
    std::string keyCapturing(unsigned key) {
        CaptureStderr();
        app->keyboard(key);
        return GetCapturedStderr();
    }
    static std::string fileText(const char* name) {
        std::ostringstream text;
        text << std::ifstream(name, std::ios::binary).rdbuf();
        return text.str();
    }
    static bool exists(const char* name) {
        struct stat st;
        return stat(name, &st) == 0;
    }

    std::unique_ptr<InTempFolder> folder;
    std::unique_ptr<AppTestHost> host;
    std::unique_ptr<CFlatViewsApp> app;
};

}  // namespace

TEST_F(AppFiles, RecordedFramesReplayFrameByFrame) {
    keyCapturing('7');
    for (int i = 0; i < 5; ++i) {
        app->ui().rotateX = 0.1f * float(i);
        paintCapturing();
    }
    keyCapturing('7');
    EXPECT_EQ(fileText(CApp::kRecordingFile).rfind("rec-version = 0.3.0.0\nrotateX = 0\n", 0), 0u);

    app->ui().rotateX = 9.0f;
    const int repaints = host->mRepaints;
    EXPECT_THAT(keyCapturing('8'), HasSubstr("mReplaying = 1"));
    for (int i = 0; i < 5; ++i) {
        paintCapturing();
        EXPECT_FLOAT_EQ(app->ui().rotateX, 0.1f * float(i)) << "frame " << i;
        EXPECT_TRUE(app->replaying());
    }
    EXPECT_GT(host->mRepaints, repaints + 4);  // replay asks for its own frames
    EXPECT_THAT(paintCapturing(), HasSubstr("ifstream finished"));
    EXPECT_FALSE(app->replaying());
    EXPECT_FLOAT_EQ(app->ui().rotateX, 0.4f);
}

TEST_F(AppFiles, ReplayWithoutAFileEndsOnceAndRecordingNeverTruncatesAReplay) {
    keyCapturing('8');
    const std::string out = paintCapturing(3);
    EXPECT_EQ(out.find("ifstream finished"), out.rfind("ifstream finished"));
    EXPECT_THAT(out, HasSubstr("ifstream finished"));
    EXPECT_FALSE(app->replaying());

    keyCapturing('7');
    paintCapturing(2);
    keyCapturing('7');
    const std::string recorded = fileText(CApp::kRecordingFile);
    keyCapturing('8');
    EXPECT_THAT(keyCapturing('7'), HasSubstr("WARNING"));
    EXPECT_FALSE(app->recording());
    EXPECT_EQ(fileText(CApp::kRecordingFile), recorded);
    paintCapturing(4);
    EXPECT_FALSE(app->replaying());

    keyCapturing('7');
    EXPECT_THAT(keyCapturing('8'), HasSubstr("WARNING"));  // would read what is being written
    EXPECT_FALSE(app->replaying());
    keyCapturing('7');
}

TEST_F(AppFiles, DrawModesFromTheViewFileOrAReplayStayAmongTheModes) {
    app->setNumDrawModes(3);
    SUI saved;
    saved.mDrawMode = std::numeric_limits<int>::max();
    ASSERT_TRUE(saved.saveFile());
    EXPECT_THAT(keyCapturing(']'),
                HasSubstr(") WARNING: ui.txt: mDrawMode = 2147483647 out of range"));
    EXPECT_EQ(app->ui().mDrawMode, 2);
    app->keyboard('a');
    EXPECT_EQ(app->ui().mDrawMode, 0);

    keyCapturing('7');
    app->ui().mDrawMode = -5;  // set by code, recorded as it is
    paintCapturing();
    keyCapturing('7');
    keyCapturing('8');
    EXPECT_THAT(paintCapturing(), HasSubstr(") WARNING: ui-rec.txt: mDrawMode = -5 out of range"));
    EXPECT_EQ(app->ui().mDrawMode, 0);

    // The key's own step, from a mode that code set far beyond the modes.
    app->ui().mDrawMode = std::numeric_limits<int>::max();
    app->keyboard('a');
    EXPECT_EQ(app->ui().mDrawMode, 0);
}

TEST_F(AppFiles, ScreenshotsAreUprightRealPixelsAndNeverReplaceOlderOnes) {
    keyCapturing('\\');
    keyCapturing('|');
    paintCapturing();
    keyCapturing('|');
    ASSERT_TRUE(exists("image000.png"));
    ASSERT_TRUE(exists("image0001.png"));
    const SImageHandle shot = readPngFile("image000.png");
    ASSERT_EQ(shot->mWidth, 200);
    ASSERT_EQ(shot->mHeight, 120);
    ASSERT_EQ(shot->mChannels, 3);
    // Row 0 of the file is the top of the frame, where the mark is.
    const unsigned char* mark = shot->mPixels + (9 * 200 + 9) * 3;
    EXPECT_EQ(RGB8({mark[0], mark[1], mark[2]}), kMark);
    const unsigned char* below = shot->mPixels + (100 * 200 + 9) * 3;
    EXPECT_EQ(RGB8({below[0], below[1], below[2]}), kLeft);

    // A new run of the program numbers on after the files that are there.
    const std::string first = fileText("image000.png");
    app->restartScreenshotNumbers();
    keyCapturing('\\');
    paintCapturing();
    EXPECT_EQ(fileText("image000.png"), first);
    EXPECT_TRUE(exists("image001.png"));
}

TEST_F(AppFiles, NothingIsWrittenIntoAnUnwritableFolderOrForAnEmptyDrawingArea) {
    ASSERT_EQ(chmod(folder->path().c_str(), 0500), 0);
    // Root writes through permissions; for root the folder goes away instead.
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(rmdir(folder->path().c_str()), 0);
    }
    keyCapturing('\\');
    EXPECT_THAT(paintCapturing(), HasSubstr("could not"));
    EXPECT_FALSE(exists("image000.png"));
    if (root) {
        ASSERT_EQ(mkdir(folder->path().c_str(), 0700), 0);
    }
    ASSERT_EQ(chmod(folder->path().c_str(), 0700), 0);
    ASSERT_EQ(chdir(folder->path().c_str()), 0);

    host->resize(*app, 200, 120);
    keyCapturing('P');  // side panel on a window narrower than the panel
    keyCapturing('|');
    paintCapturing(2);
    EXPECT_FALSE(exists("image0000.png"));
    EXPECT_FALSE(exists("image0001.png"));
}

// A recording file that cannot be opened is named in the warning, and nothing records.
TEST_F(AppFiles, ARecordingThatCannotBeWrittenSaysSo) {
    ASSERT_EQ(mkdir(CApp::kRecordingFile, 0700), 0);  // a folder where the file would go
    EXPECT_THAT(keyCapturing('7'),
                HasSubstr("WARNING: could not open ui-rec.txt for writing; not recording"));
    EXPECT_FALSE(app->recording());
}

// A recording is written whole when it stops: a full disk leaves the earlier one as it
// was, and one that runs when the application ends is kept.
TEST_F(AppFiles, ARecordingOnAFullDiskLeavesTheEarlierOneWhole) {
    CSmallFileSystem disk;
    if (!disk.available())
        GTEST_SKIP() << disk.skipReason();
    ASSERT_EQ(chdir(disk.path().c_str()), 0);
    auto frames = [](const std::string& text) {
        size_t count = 0;
        for (size_t at = text.find("rotateX = "); at != std::string::npos;
             at = text.find("rotateX = ", at + 1))
            ++count;
        return count;
    };
    keyCapturing('7');
    paintCapturing(3);
    keyCapturing('7');
    const std::string earlier = fileText(CApp::kRecordingFile);
    ASSERT_EQ(frames(earlier), 3u);

    ASSERT_TRUE(disk.fill());
    keyCapturing('7');
    paintCapturing(50);
    EXPECT_THAT(keyCapturing('7'),
                HasSubstr("WARNING: cannot write ui-rec.txt: No space left on device"));
    EXPECT_TRUE(fileText(CApp::kRecordingFile) == earlier) << "the earlier recording changed";
    EXPECT_FALSE(app->recording());

    disk.empty();
    keyCapturing('7');
    paintCapturing(2);
    app->shutdownGL();
    app.reset();
    EXPECT_EQ(frames(fileText(CApp::kRecordingFile)), 2u);
    ASSERT_EQ(chdir(folder->path().c_str()), 0);
}

// The status of the stereo framebuffer is read while it is the bound one: an incomplete
// one (textures larger than the driver allows) is reported, a complete one is not.
TEST_F(GLTest, AnIncompleteStereoFramebufferIsReported) {
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    CStereoFramebuffer framebuffer;
    framebuffer.create();
    testing::internal::CaptureStderr();
    framebuffer.allocate(largest + 1, 16, 0);  // its textures get no storage
    EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("Framebuffer incomplete"));
    while (glGetError() != GL_NO_ERROR) {
    }
    testing::internal::CaptureStderr();
    framebuffer.allocate(64, 64, 0);
    EXPECT_THAT(testing::internal::GetCapturedStderr(), Not(HasSubstr("Framebuffer")));
    framebuffer.release();
}
