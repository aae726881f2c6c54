// Tests of the application classes run inside the real application object, on the
// display that ./test.sh provides (a virtual X server when there is none).
#include "CQtExceptionApp.h"
#include "startup.h"

#include <QSurfaceFormat>

#include <gtest/gtest.h>

#include <dlfcn.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();  // listing needs no display
    // Mesa unloads its software driver when the display closes, before the leak check
    // at exit; its own leaks would then show without a library name to suppress them by.
    dlopen(RUV_DRI_DIR "/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);
    QSurfaceFormat::setDefaultFormat(defaultGLFormat());
    CQtExceptionApp app(argc, argv);
    setApplicationIdentity();
    return RUN_ALL_TESTS();
}
