// The GL view on a screen of two device pixels per logical pixel. Qt reads the scale
// factor when the application object is made, so these tests have a process of their own.
#include "CQtExceptionApp.h"
#include "startup.h"

#include <QSurfaceFormat>

#include <gtest/gtest.h>

#include <dlfcn.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    qputenv("QT_SCALE_FACTOR", "2");
    // As in the other window tests: keep Mesa's driver loaded for the leak check at exit.
    dlopen(RUV_DRI_DIR "/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);
    QSurfaceFormat::setDefaultFormat(defaultGLFormat());
    CQtExceptionApp app(argc, argv);
    setApplicationIdentity();
    return RUN_ALL_TESTS();
}
