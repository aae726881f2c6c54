// The model needs an application object for the palette and for drag data, but no
// window: the tests run on the offscreen platform and need no display.
#include "CImageListModel.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // No display is needed, and none is asked for: a display busy with other tests'
    // windows is no reason for these to fail.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // File times show in local time, and capture dates must not trip over summer time:
    // a zone one hour east of UTC with summer time makes the tests meet an offset and its
    // jumps on every machine, whatever zone the machine is in (LocalZone checks that the
    // zone is really there).
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    QGuiApplication app(argc, argv);
    // The tests look at a folder's rows right after choosing it, also under the
    // sanitizers on a busy machine.
    CImageListModel::setListingWait(20000);
    return RUN_ALL_TESTS();
}
