#pragma once
// The one Qt object of the GL framework: a repeating timer that calls a CTimerReceiver
// on every tick, through the event loop of the thread that created it. Its
// dataChanged() signal is how the framework asks its host for a repaint.
#include "CTimerReceiver.h"

#include <QObject>

class QTimer;

class CTimerQt : public QObject {
    Q_OBJECT
public:
    // The receiver is not owned and must outlive the timer's ticks.
    explicit CTimerQt(CTimerReceiver* receiver);
    CTimerQt(const CTimerQt&) = delete;
    CTimerQt& operator=(const CTimerQt&) = delete;

    // Starts ticking every `milliseconds`; a running timer restarts with the new interval,
    // so there is never more than one source of ticks.
    void start(int milliseconds);
    // Emits dataChanged(), then stops the ticks. Safe at any time, also before a start
    // and from within onTimer().
    void stop();
    bool isRunning() const;
    // Emits dataChanged() once, after `milliseconds`, whether or not the timer ticks: a
    // repaint for something that ends by time.
    void repaintAfter(int milliseconds);
    // The interval of the running timer; -1 when none runs.
    int interval() const;

signals:
    void dataChanged();

public slots:
    // One tick: calls the receiver's onTimer().
    void update();

private:
    CTimerReceiver* mReceiver;
    QTimer* mTimer = nullptr;  // a child of this object, made by the first start
    QTimer* mOnce = nullptr;   // repaintAfter's, a child as well
};
