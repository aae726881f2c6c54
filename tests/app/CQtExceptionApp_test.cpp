#include "CQtExceptionApp.h"

#include <QEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>

#include <stdexcept>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define RUV_IGNORE_LEAKS_HERE __lsan::ScopedDisabler ignoreLeaks
#else
#define RUV_IGNORE_LEAKS_HERE
#endif

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {
// Throws from its event handler what the event's type asks for.
class Thrower : public QObject {
public:
    enum { OutOfRange = QEvent::User + 1, Runtime, Integer, Quiet };
    int mHandled = 0;

protected:
    void customEvent(QEvent* event) override {
        switch (int(event->type())) {
            case OutOfRange:
                throw std::out_of_range("index 7 of 3");
            case Runtime:
                throw std::runtime_error("broken picture");
            case Integer:
                throw 42;
            default:
                ++mHandled;
        }
    }
};

void post(QObject* receiver, int type) {
    QCoreApplication::postEvent(receiver, new QEvent(QEvent::Type(type)));
}
}  // namespace

TEST(CQtExceptionApp, ReportsEachKindOfExceptionAndGoesOn) {
    ASSERT_NE(qobject_cast<CQtExceptionApp*>(QCoreApplication::instance()), nullptr);
    Thrower thrower;
    CaptureStderr();
    post(&thrower, Thrower::OutOfRange);
    post(&thrower, Thrower::Quiet);
    post(&thrower, Thrower::Runtime);
    post(&thrower, Thrower::Integer);
    post(&thrower, Thrower::Quiet);
    QCoreApplication::sendPostedEvents(&thrower);
    EXPECT_EQ(GetCapturedStderr(),
              "std::out_of_range: index 7 of 3\n"
              "std::exception: broken picture\n"
              "unhandled exeception??? \n");
    EXPECT_EQ(thrower.mHandled, 2);
}

TEST(CQtExceptionApp, AThrowingEventCountsAsNotHandled) {
    Thrower thrower;
    QEvent quiet(QEvent::Type(Thrower::Quiet));
    QEvent bad(QEvent::Type(Thrower::Runtime));
    CaptureStderr();
    EXPECT_TRUE(QCoreApplication::sendEvent(&thrower, &quiet));
    EXPECT_FALSE(QCoreApplication::sendEvent(&thrower, &bad));
    GetCapturedStderr();
}

TEST(CQtExceptionApp, AThrowingSlotLeavesTheWindowUsable) {
    // Qt's widget code is built without exception cleanups: what it holds for the
    // event that the exception cuts short is lost, and is not ours to report.
    RUV_IGNORE_LEAKS_HERE;
    QPushButton button("Throw");
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&clicks] {
        ++clicks;
        if (clicks == 1)
            throw std::out_of_range("first click");
    });
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    CaptureStderr();
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    // Qt also notes that the cut-short event was not accepted.
    EXPECT_THAT(GetCapturedStderr(), testing::StartsWith("std::out_of_range: first click\n"));
    EXPECT_EQ(clicks, 2);
    EXPECT_TRUE(button.isVisible());
}

TEST(CQtExceptionApp, ATimerSlotMayThrowToo) {
    bool fired = false;
    CaptureStderr();
    QTimer::singleShot(0, [&fired] {
        fired = true;
        throw std::length_error("too long");
    });
    EXPECT_TRUE(QTest::qWaitFor([&fired] { return fired; }, 5000));
    EXPECT_EQ(GetCapturedStderr(), "std::exception: too long\n");
}
