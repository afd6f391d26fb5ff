#include "stop_signals.h"

#include <QSocketNotifier>
#include <QWidget>

#ifdef Q_OS_UNIX
#include <csignal>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#ifdef Q_OS_UNIX

namespace {

// The handler may only write to a descriptor; the event loop reads the other end.
int signalPipe[2] = { -1, -1 };

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[0], &byte, 1);
}

} // namespace

void closeOnStopSignals(QWidget* window)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(signalPipe[1], &byte, 1);
        window->close();
    });
    struct sigaction action { };
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // A parent may have started us with them blocked; one that arrived early is handled now.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    ::pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
}

#else

void closeOnStopSignals(QWidget*) { }

#endif
