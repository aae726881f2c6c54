// Calibration's big steps and the frame of the marked patch, as a person meets them:
// keys pressed through the X server, the level read back from the saved file, the frame
// read off the screen.
#include "CRuvello.h"
#include "CStereoCalib.h"
#include "GLWidget.h"
#include "calibFile.h"
#include "calibSearch.h"
#include "screenframes.h"

#include <QFile>
#include <QScreen>
#include <QSignalSpy>

#include <cmath>
#include <fstream>
#include <sstream>

namespace {

// Matches a careful user makes on a display of gamma 2, saved before the program starts:
// a step of a few tens of levels on one patch still fits and saves.
void saveCarefulMatches() {
    const double filters[2][3] = {{0.8, 0.15, 0.05}, {0.05, 0.7, 0.25}};
    const uint8_t colours[6][3] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},
                                   {0, 255, 255}, {255, 0, 255}, {255, 255, 0}};
    std::vector<SCalibPatch> patches[2];
    for (int eye = 0; eye < 2; ++eye)
        for (const auto& c : colours) {
            double y = 0;
            for (int k = 0; k < 3; ++k)
                y += filters[eye][k] * std::pow(c[k] / 255.0, 2.0);
            patches[eye].push_back({c[0], c[1], c[2], int16_t(std::lround(255 * std::sqrt(y)))});
        }
    std::string why;
    ASSERT_TRUE(
        saveCalibrationCopy(calibrationConfigPath(), calibFileText(patches[0], patches[1]), &why))
        << why;
}

class CalibSteps : public WindowTest {
protected:
    void TearDown() override {
        WindowTest::TearDown();
        QFile::remove(QString::fromStdString(calibrationConfigPath()));
    }
    CRuvello& app() { return *window->glWidget()->application(); }
    // Saves with '[' and reads the left eye's first level from the file written.
    int savedFirstLevel() {
        QFile::remove(QString::fromStdString(calibrationConfigPath()));
        pressKeys(*window, "bracketleft");
        waitUntil([] { return QFile::exists(QString::fromStdString(calibrationConfigPath())); });
        std::ifstream in(calibrationConfigPath());
        std::string line;
        for (int i = 0; i < 3; ++i)
            std::getline(in, line);
        int r = -1, g = -1, b = -1, level = -1000;
        std::istringstream(line) >> r >> g >> b >> level;
        return level;
    }
    // The view as the screen shows it once a new frame is out.
    QImage screenOfView() {
        QSignalSpy frames(window->glWidget(), &QOpenGLWidget::frameSwapped);
        window->glWidget()->update();
        frames.wait(5000);
        QTest::qWait(50);
        return grabView(*window->glWidget());
    }
    // The left edge of the patch at the bottom left, at the given distance in: the
    // patch's own colour there unless it is marked.
    QRgb edgeOfFirstPatch(const QImage& view, int in) {
        const CStereoCalib& calib = *app().calib();
        const float scale = view.width() < 3 * calib.mFaceWidth
                                ? float(view.width()) / float(3 * calib.mFaceWidth)
                                : 1.0f;
        const int ph = int(float(calib.mFaceHeight) * scale);
        return view.pixel(in, view.height() - ph / 2);
    }
};

int grey(QRgb c) {
    return (qRed(c) + qGreen(c) + qBlue(c)) / 3;
}

}  // namespace

TEST_F(CalibSteps, TAndGStepByTenAndTheMarkedPatchHasAFrameOnLightAndDarkGrey) {
    saveCarefulMatches();
    open(folder);
    ASSERT_TRUE(waitUntil([&] { return app().glReady(); }));
    pressKeys(*window, "shift+c");
    ASSERT_TRUE(waitUntil([&] { return window->glWidget()->calibrating(); }));
    const int start = savedFirstLevel();
    ASSERT_GE(start, 40);
    pressKeys(*window, "g", 3, 5);
    EXPECT_EQ(savedFirstLevel(), start - 30);
    pressKeys(*window, "t", 1, 5);
    EXPECT_EQ(savedFirstLevel(), start - 20);

    // Over a light face and a dark one: a white ring outside, a black one inside.
    for (const char* key : {"t", "g"}) {
        pressKeys(*window, key, 30, 2);
        const QImage view = screenOfView();
        EXPECT_GT(grey(edgeOfFirstPatch(view, 1)), 230) << key;
        EXPECT_LT(grey(edgeOfFirstPatch(view, 4)), 25) << key;
    }
    // The next patch marked: the first one's edge is its own colour again.
    pressKeys(*window, "d");
    const QImage view = screenOfView();
    EXPECT_FALSE(grey(edgeOfFirstPatch(view, 1)) > 230 && grey(edgeOfFirstPatch(view, 4)) < 25);
}
