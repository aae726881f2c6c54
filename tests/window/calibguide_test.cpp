// Calibration in the main window as a user meets it: real key presses through the X
// server make a careless match whose fit is refused and leaves the calibration in use,
// a save onto a full disk keeps the saved calibration and says why, and Stereo ▸ Reset
// Calibration goes back to the built-in one, removing the saved files only when the user
// says Yes.
#include "CImgWindow.h"
#include "CRuvello.h"
#include "CStereoCalib.h"
#include "GLWidget.h"
#include "calibFit.h"
#include "calibSearch.h"
#include "scopedenv.h"
#include "screentext.h"
#include "smallfs.h"
#include "windowfixtures.h"

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>

#include <gmock/gmock.h>

#include <cmath>
#include <fstream>
#include <sstream>

using testing::HasSubstr;

namespace {

// The matches a careful user makes through red/cyan glasses on a display of gamma 2.
std::string goodCalibration() {
    const double filters[2][3] = {{0.8, 0.15, 0.05}, {0.05, 0.7, 0.25}};
    const uint8_t colours[6][3] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},
                                   {0, 255, 255}, {255, 0, 255}, {255, 255, 0}};
    std::vector<SCalibPatch> patches[2];
    for (int eye = 0; eye < 2; ++eye) {
        for (const auto& c : colours) {
            double y = 0;
            for (int k = 0; k < 3; ++k)
                y += filters[eye][k] * std::pow(c[k] / 255.0, 2.0);
            patches[eye].push_back({c[0], c[1], c[2], int16_t(std::lround(255 * std::sqrt(y)))});
        }
    }
    return calibFileText(patches[0], patches[1]);
}

std::string readText(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

class CalibGuideWindow : public WindowTest {
protected:
    void TearDown() override {
        if (!mOldDir.isEmpty())
            QDir::setCurrent(mOldDir);
        WindowTest::TearDown();
        QFile::remove(QString::fromStdString(calibrationConfigPath()));
    }
    // A calibration of the user's own, saved before the program starts.
    void saveMine() {
        std::string why;
        ASSERT_TRUE(saveCalibrationCopy(calibrationConfigPath(), goodCalibration(), &why)) << why;
    }
    CRuvello& app() { return *window->glWidget()->application(); }
    std::array<float, 5> renderer() {
        const CAnaglyphRenderer& r = app().renderer();
        return {r.a_l, r.b_l, r.a_r, r.b_r, r.gamma};
    }
    // Keys pressed on the keyboard, as xdotool names them, into the window.
    void press(const QStringList& keys) {
        QProcess xdotool;
        xdotool.start("xdotool", QStringList{"key", "--window", QString::number(window->winId()),
                                             "--delay", "5"} +
                                     keys);
        ASSERT_TRUE(xdotool.waitForStarted());
        ASSERT_TRUE(waitUntil([&] { return xdotool.state() == QProcess::NotRunning; }));
        ASSERT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();
        QTest::qWait(100);  // the last key's events
    }
    std::string notes() {
        std::string text;
        for (const std::string& line : app().viewNotes())
            text += line + "\n";
        return text;
    }
    // The window's pixels: the notes are painted over the view.
    QImage shot() { return window->glWidget()->grabFramebuffer(); }

    QString mOldDir;
};

const std::array<float, 5> kBuiltIn = {
    CStereoCalib::kBuiltInFilter[0][0], CStereoCalib::kBuiltInFilter[0][1],
    CStereoCalib::kBuiltInFilter[1][0], CStereoCalib::kBuiltInFilter[1][1],
    CStereoCalib::kBuiltInGamma};

}  // namespace

TEST_F(CalibGuideWindow, ACarelessMatchTypedOnTheKeyboardIsRefusedAndChangesNothing) {
    saveMine();
    open(folder);
    ASSERT_TRUE(waitUntil([&] { return app().glReady(); }));
    const std::array<float, 5> mine = renderer();
    ASSERT_NEAR(mine[0], 0.8, 0.03);
    const std::string saved = readText(calibrationConfigPath());

    press({"shift+c"});
    ASSERT_TRUE(waitUntil([&] { return window->glWidget()->calibrating(); }));
    EXPECT_THAT(notes(), HasSubstr("Calibration: left eye (red filter), patch 1 of 6\n"));
    // The guide as a person reads it on the screen, over the view's top left.
    ASSERT_TRUE(canReadScreen()) << "tesseract is missing: tools/install-deps.sh test installs it";
    QSignalSpy frames(window->glWidget(), &QOpenGLWidget::frameSwapped);
    window->glWidget()->update();
    ASSERT_TRUE(frames.wait(5000));
    QTest::qWait(50);
    const QImage screen = window->screen()->grabWindow(window->winId()).toImage();
    const QPoint corner = window->glWidget()->mapTo(window.get(), QPoint(0, 0));
    const QString read = readOnScreen(screen, QRect(corner, QSize(520, 60)));
    EXPECT_TRUE(read.contains("left eye")) << "OCR read: " << read.toStdString();
    EXPECT_TRUE(read.contains("patch")) << "OCR read: " << read.toStdString();

    // The green patch of the left eye made far too bright: the red filter seems to pass
    // green almost as well as red.
    QStringList keys{"d"};
    for (int i = 0; i < 150; ++i)
        keys << "w";
    press(keys);
    EXPECT_THAT(notes(), HasSubstr("patch 2 of 6"));
    std::string why;
    ASSERT_FALSE(calibFitUsable(
        fitCalibration(app().calib()->mPatches[0], app().calib()->mPatches[1], true), &why));
    press({"shift+a"});
    ASSERT_TRUE(waitUntil([&] { return notes().find("Fit refused") != std::string::npos; }))
        << notes();
    EXPECT_THAT(notes(), HasSubstr("Fit refused: the left (red) filter passes"));
    EXPECT_EQ(renderer(), mine);
    press({"bracketleft"});
    EXPECT_THAT(notes(), HasSubstr("Not saved: the left (red) filter passes"));
    EXPECT_EQ(readText(calibrationConfigPath()), saved);

    // Matched again with care: taken.
    QStringList back;
    for (int i = 0; i < 150; ++i)
        back << "s";
    press(back + QStringList{"shift+a"});
    ASSERT_TRUE(waitUntil([&] { return notes().find("Fit taken") != std::string::npos; }))
        << notes();
    EXPECT_NEAR(renderer()[0], 0.8, 0.03);
}

// '[' onto a full disk: the calibration saved before stays byte for byte, the status bar
// and the notes say what could not be written and why, and the matches stay unsaved.
TEST_F(CalibGuideWindow, SavingOntoAFullDiskKeepsTheSavedCalibrationAndSaysWhy) {
    CSmallFileSystem disk;
    if (!disk.available())
        GTEST_SKIP() << disk.skipReason();
    CScopedEnv config("XDG_CONFIG_HOME", disk.path());
    saveMine();
    const std::string file = calibrationConfigPath();
    const std::string saved = readText(file);
    open(folder);
    ASSERT_TRUE(waitUntil([&] { return app().glReady(); }));
    ASSERT_NEAR(renderer()[0], 0.8, 0.03);  // the saved one is in use
    ASSERT_TRUE(disk.fill());

    press({"shift+c"});
    ASSERT_TRUE(waitUntil([&] { return window->glWidget()->calibrating(); }));
    press({"w", "bracketleft"});
    const std::string failed = "Not saved: cannot write " + file + ": No space left on device.";
    auto status = [&] { return window->statusBar()->currentMessage().toStdString(); };
    ASSERT_TRUE(waitUntil([&] { return status() == failed; })) << status();
    EXPECT_THAT(notes(), HasSubstr(failed));
    EXPECT_EQ(readText(file), saved);
    EXPECT_TRUE(window->glWidget()->calibrationUnsaved());

    // With room again the same key saves, and says so.
    disk.empty();
    press({"bracketleft"});
    ASSERT_TRUE(waitUntil([&] { return status() == "Saved to " + file + "."; })) << status();
    EXPECT_NE(readText(file), saved);
    EXPECT_FALSE(window->glWidget()->calibrationUnsaved());
}

TEST_F(CalibGuideWindow, ResetCalibrationGoesBackToTheBuiltInOneAndRemovesTheFilesOnlyOnYes) {
    saveMine();
    // A working directory's file is read first: Yes must remove it as well.
    mOldDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder));
    std::ofstream(CStereoCalib::kFileName) << goodCalibration();
    open(folder);
    ASSERT_TRUE(waitUntil([&] { return app().glReady(); }));
    ASSERT_NE(renderer(), kBuiltIn);

    QMenu* stereo = window->findChild<QMenu*>("menuStereo");
    ASSERT_TRUE(stereo);
    QAction* reset = action("actionReset_Calibration");
    ASSERT_TRUE(reset);
    EXPECT_EQ(reset->text(), "Reset Calibration");
    EXPECT_TRUE(stereo->actions().contains(reset));

    // No: built-in for now, the files stay for the next start.
    QString question;
    whenModal<QMessageBox>([&](QMessageBox* box) {
        question = box->text();
        box->button(QMessageBox::No)->click();
    });
    reset->trigger();
    EXPECT_EQ(renderer(), kBuiltIn);
    EXPECT_THAT(question.toStdString(), HasSubstr(calibrationConfigPath()));
    EXPECT_THAT(question.toStdString(), HasSubstr(folder.toStdString() + "/ui-calib.txt"));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(calibrationConfigPath())));
    EXPECT_TRUE(QFile::exists(folder + "/ui-calib.txt"));
    EXPECT_THAT(window->statusBar()->currentMessage().toStdString(), HasSubstr("kept"));

    // Yes: both files go.
    answerNextBox(QMessageBox::Yes);
    reset->trigger();
    EXPECT_EQ(renderer(), kBuiltIn);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(calibrationConfigPath())));
    EXPECT_FALSE(QFile::exists(folder + "/ui-calib.txt"));
    EXPECT_THAT(window->statusBar()->currentMessage().toStdString(), HasSubstr("removed"));

    // Nothing saved any more: no question at all.
    bool asked = false;
    whenModal<QMessageBox>(
        [&](QMessageBox* box) {
            asked = true;
            box->button(QMessageBox::No)->click();
        },
        500);
    reset->trigger();
    QTest::qWait(600);
    EXPECT_FALSE(asked);
}
