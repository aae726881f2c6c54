#pragma once
// The window tests wait for what a user waits for, turning the event loop meanwhile.
#include <QElapsedTimer>
#include <QTest>

#include <functional>

// Turns the event loop until done() or ms have passed; says whether done() came true.
inline bool waitUntil(const std::function<bool()>& done, int ms = 15000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QTest::qWait(10);
    return done();
}
