// The main window under the display that ./test.sh provides, with a configuration
// folder of its own, so that a user's saved window state never reaches the tests.
#include "CQtExceptionApp.h"
#include "startup.h"

#include <QSurfaceFormat>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <stdlib.h>
#include <time.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    // Dates carry no zone and must not trip over summer time: a zone with summer time
    // puts its gaps and repeats in the tests' way on every machine.
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    dlopen(RUV_DRI_DIR "/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);
    QSurfaceFormat::setDefaultFormat(defaultGLFormat());
    CQtExceptionApp app(argc, argv);
    setApplicationIdentity();
    return RUN_ALL_TESTS();
}
