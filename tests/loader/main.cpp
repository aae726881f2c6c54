// The loader's results travel by queued calls, so its tests run inside a core
// application whose event loop they turn themselves. No window, no display.
#include <QCoreApplication>

#include <gtest/gtest.h>

#if defined(__SANITIZE_THREAD__)
// Qt is not built with ThreadSanitizer. A queued call is written by the posting thread
// into storage that Qt allocates and appends to its list of posted events, and read,
// and finally destroyed, by the receiving thread; Qt orders the two under its own
// futex-based lock, which the sanitizer cannot see. These patterns name only Qt's side
// of that hand-over: the call's storage (allocated in QMetaCallEvent or by
// invokeMethod), the posted-event list that grows under that lock, its delivery
// (QObject::event, sendPostedEvents) and its destruction (QMetaType::destroy). Built in,
// so that it holds however the tests are started.
extern "C" const char* __tsan_default_suppressions() {
    return "race:QMetaCallEvent\n"
           "race:QObject::event\n"
           "race:QMetaType::destroy\n"
           "race:QMetaObject::invokeMethodImpl\n"
           "race:QCoreApplicationPrivate::sendPostedEvents\n"
           "race:QArrayData::reallocateUnaligned\n"
           "race:QArrayData::allocate\n";
}
#endif

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
