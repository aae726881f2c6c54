#pragma once
#include <QObject>

class QSocketNotifier;

// Hears SIGTERM, SIGINT and SIGHUP and hands them to the event loop as received(), for
// the window to end the program in an orderly way, asking about unsaved work as when
// the user closes it. A signal handler may not call into Qt; it writes the signal's
// number as one byte into a socket pair that the event loop watches.
class CSignalQuit : public QObject {
    Q_OBJECT
public:
    explicit CSignalQuit(QObject* parent = nullptr);
    ~CSignalQuit() override;

    // A signal came, perhaps before anyone listened: before the event loop ran, the
    // program simply ends.
    bool quitRequested() const { return mQuitRequested; }

signals:
    void received(int signalNumber);

private:
    void onSignal();

    QSocketNotifier* mNotifier = nullptr;
    bool mQuitRequested = false;
};
