// The application timer on a real event loop: restarts, stops before any start and from
// within a tick, and the repaint signal that stop sends.
#include "CTimerQt.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

class CCountingReceiver : public CTimerReceiver {
public:
    void onTimer() override {
        ++mTicks;
        if (mOnTick)
            mOnTick(mTicks);
    }
    int mTicks = 0;
    std::function<void(int)> mOnTick;
};

int timerCount(const CTimerQt& timer) {
    return int(timer.findChildren<QTimer*>().size());
}

}  // namespace

TEST(TimerQt, SecondStartReplacesTheFirstWithItsInterval) {
    CCountingReceiver receiver;
    CTimerQt timer(&receiver);
    timer.start(5);
    timer.start(1000);
    EXPECT_TRUE(timer.isRunning());
    EXPECT_EQ(timer.interval(), 1000);
    EXPECT_EQ(timerCount(timer), 1);
    QTest::qWait(300);
    EXPECT_EQ(receiver.mTicks, 0) << "the 5 ms timer still ticks";

    QElapsedTimer clock;
    clock.start();
    timer.start(20);
    QTest::qWait(400);
    const qint64 elapsed = clock.elapsed();
    EXPECT_EQ(timer.interval(), 20);
    EXPECT_EQ(timerCount(timer), 1);
    EXPECT_GE(receiver.mTicks, 5);
    EXPECT_LE(receiver.mTicks, elapsed / 20 + 2) << "more than one tick per interval";
}

TEST(TimerQt, StopEmitsOnceEndsTheTicksAndAllowsAnotherStart) {
    CCountingReceiver receiver;
    CTimerQt timer(&receiver);
    QSignalSpy repaints(&timer, &CTimerQt::dataChanged);
    timer.stop();  // before any start: safe, and still asks for a repaint
    EXPECT_EQ(repaints.count(), 1);
    EXPECT_EQ(timer.interval(), -1);
    EXPECT_EQ(timerCount(timer), 0);

    timer.start(10);
    ASSERT_TRUE(QTest::qWaitFor([&] { return receiver.mTicks > 0; }, 5000));
    EXPECT_EQ(repaints.count(), 1);  // ticks alone do not repaint

    timer.stop();
    EXPECT_EQ(repaints.count(), 2);
    EXPECT_FALSE(timer.isRunning());
    EXPECT_EQ(timer.interval(), -1);
    const int ticks = receiver.mTicks;
    QTest::qWait(100);
    EXPECT_EQ(receiver.mTicks, ticks);
    EXPECT_EQ(timerCount(timer), 1);  // kept for the next start

    timer.start(10);
    EXPECT_TRUE(QTest::qWaitFor([&] { return receiver.mTicks > ticks; }, 5000));
    EXPECT_EQ(timerCount(timer), 1);
}

// As an animation ends or a replay restarts: the receiver stops or restarts the timer
// while its own tick is being delivered.
TEST(TimerQt, StopAndRestartFromWithinATick) {
    CCountingReceiver receiver;
    CTimerQt timer(&receiver);
    QSignalSpy repaints(&timer, &CTimerQt::dataChanged);
    receiver.mOnTick = [&](int tick) {
        if (tick == 3)
            timer.stop();
    };
    timer.start(5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !timer.isRunning(); }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(receiver.mTicks, 3);
    EXPECT_EQ(repaints.count(), 1);

    receiver.mTicks = 0;
    receiver.mOnTick = [&](int tick) {
        if (tick == 1)
            timer.start(60000);
    };
    timer.start(5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return timer.interval() == 60000; }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(receiver.mTicks, 1);
    EXPECT_EQ(timerCount(timer), 1);
}
