#include "stop_signals.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
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

#elif defined(Q_OS_WIN)

#include <windows.h>

#include <atomic>

namespace {

QPointer<QWidget> stopTarget;
std::atomic<bool> quitting { false };

// Called by the console on a thread of its own.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    // Queued to the window's thread; dropped if the window is gone by then.
    if (QWidget* window = stopTarget.data())
        QMetaObject::invokeMethod(
            window, [window] { window->close(); }, Qt::QueuedConnection);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
        return TRUE;
    // A closed console, a logoff or a shutdown ends the process once this returns: give the
    // window the time to store its settings first.
    for (int i = 0; i < 40 && !quitting; ++i)
        ::Sleep(50);
    return TRUE;
}

} // namespace

void closeOnStopSignals(QWidget* window)
{
    stopTarget = window;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { quitting = true; });
    // Ctrl+C may come disabled from the parent; the console the operator started the window
    // from should still close it.
    ::SetConsoleCtrlHandler(nullptr, FALSE);
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

#else

void closeOnStopSignals(QWidget*) { }

#endif
