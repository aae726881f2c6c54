#pragma once
#include <QObject>

class QSocketNotifier;

// Ends the event loop in an orderly way on SIGTERM, SIGINT and SIGHUP, so that the
// windows are closed and destroyed as on a normal quit. A signal handler may not
// call into Qt; it writes one byte into a socket pair that the event loop watches.
class CSignalQuit : public QObject {
    Q_OBJECT
public:
    explicit CSignalQuit(QObject* parent = nullptr);
    ~CSignalQuit() override;

    // A signal came before the event loop ran, when quitting the loop has no effect.
    bool quitRequested() const { return mQuitRequested; }

private:
    void onSignal();

    QSocketNotifier* mNotifier = nullptr;
    bool mQuitRequested = false;
};
