// The loader's results travel by queued calls, so its tests run inside a core
// application whose event loop they turn themselves. No window, no display.
#include <QCoreApplication>

#include <gtest/gtest.h>

#if defined(__SANITIZE_THREAD__)
// Qt is not built with ThreadSanitizer. A queued call's arguments are written by the
// sending thread into storage that Qt allocates, and read, and finally destroyed, by
// the receiving thread; Qt orders the two under its own futex-based lock, which the
// sanitizer cannot see. These patterns name only Qt's side of that hand-over: the
// argument storage (allocated in QMetaCallEvent), its delivery (QObject::event) and
// its destruction (QMetaType::destroy). Built in, so that it holds however the tests
// are started.
extern "C" const char* __tsan_default_suppressions() {
    return "race:QMetaCallEvent\n"
           "race:QObject::event\n"
           "race:QMetaType::destroy\n";
}
#endif

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
