#include "CSignalQuit.h"

#include "diagnostics.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int gSignalFds[2] = {-1, -1};

void onPosixSignal(int signalNumber) {
    const char byte = char(signalNumber);
    // Nothing sensible can be done in a signal handler when the write fails.
    [[maybe_unused]] ssize_t written = ::write(gSignalFds[0], &byte, 1);
}
}  // namespace

CSignalQuit::CSignalQuit(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalFds) != 0) {
        RUV_WARNING("cannot watch for termination signals");
        return;
    }
    mNotifier = new QSocketNotifier(gSignalFds[1], QSocketNotifier::Read, this);
    connect(mNotifier, &QSocketNotifier::activated, this, &CSignalQuit::onSignal);

    struct sigaction action = {};
    action.sa_handler = onPosixSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
}

CSignalQuit::~CSignalQuit() {
    if (!mNotifier)
        return;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        std::signal(sig, SIG_DFL);
    ::close(gSignalFds[0]);
    ::close(gSignalFds[1]);
    gSignalFds[0] = gSignalFds[1] = -1;
}

void CSignalQuit::onSignal() {
    char byte = 0;
    if (::read(gSignalFds[1], &byte, 1) != 1)
        return;
    mQuitRequested = true;
    emit received(int(byte));
}
