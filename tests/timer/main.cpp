// A QTimer fires only through an event loop, and the loop needs an application object;
// without one, isActive() still says true while nothing ever ticks.
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
