#include "TerminationWatcher.h"

#include <QSocketNotifier>

#if !defined(_WIN32)
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#if !defined(_WIN32)
// A signal handler may only write to a descriptor; the event loop reads it.
int wakeUp[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(wakeUp[0], &byte, sizeof byte);
}
#endif

} // namespace

TerminationWatcher::TerminationWatcher(QObject *parent) : QObject(parent)
{
#if defined(_WIN32)
    // Windows: the end of a session reaches Qt as WM_ENDSESSION, and Qt quits.
#else
    // Linux and macOS: SIGTERM (logout, systemd, kill) and SIGHUP (the
    // terminal went away) would end the process where it stands.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, wakeUp) != 0)
        return;
    notifier = new QSocketNotifier(wakeUp[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(wakeUp[1], &byte, sizeof byte);
        emit terminated();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
#endif
}

TerminationWatcher::~TerminationWatcher()
{
#if !defined(_WIN32)
    if (notifier) {
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGHUP, SIG_DFL);
        ::close(wakeUp[0]);
        ::close(wakeUp[1]);
        wakeUp[0] = wakeUp[1] = -1;
    }
#endif
}
