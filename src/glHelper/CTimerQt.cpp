#include "CTimerQt.h"

#include <QCoreApplication>
#include <QTimer>

CTimerQt::CTimerQt(CTimerReceiver* receiver) : mReceiver(receiver) {}

// The timer is kept and restarted rather than replaced: QTimer::start stops a running
// timer first, and a start from within a tick would otherwise delete the very QTimer
// whose timeout() is being delivered.
void CTimerQt::start(int milliseconds) {
    if (!mTimer) {
        mTimer = new QTimer(this);
        connect(mTimer, &QTimer::timeout, this, &CTimerQt::update);
    }
    mTimer->start(milliseconds);
}

void CTimerQt::stop() {
    emit dataChanged();
    if (mTimer)
        mTimer->stop();
}

void CTimerQt::repaintAfter(int milliseconds) {
    // Without an event loop no timer can fire: nothing would ever repaint then.
    if (!QCoreApplication::instance())
        return;
    if (!mOnce) {
        mOnce = new QTimer(this);
        mOnce->setSingleShot(true);
        connect(mOnce, &QTimer::timeout, this, &CTimerQt::dataChanged);
    }
    mOnce->start(milliseconds);
}

bool CTimerQt::isRunning() const {
    return mTimer && mTimer->isActive();
}

int CTimerQt::interval() const {
    return isRunning() ? mTimer->interval() : -1;
}

void CTimerQt::update() {
    if (mReceiver)
        mReceiver->onTimer();
}
