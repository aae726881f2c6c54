#pragma once
// What a repeating CTimerQt calls on every tick; lets an application use time-driven
// work without knowing any Qt type.
class CTimerReceiver {
public:
    virtual ~CTimerReceiver() = default;
    virtual void onTimer() = 0;
};
