#include "stop_signals.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <QMetaObject>
#include <windows.h>
#endif

namespace cli {

namespace {

#ifdef Q_OS_UNIX

// The handler may only write to a descriptor; the event loop reads the other end.
int signalPipe[2] = { -1, -1 };

void onStopSignal(int number)
{
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const auto written = ::write(signalPipe[0], &byte, 1);
}

Stop stopOf(int number)
{
    return number == SIGINT ? Stop::Interrupt
        : number == SIGTERM ? Stop::Terminate
        : number == SIGHUP  ? Stop::HangUp
                            : Stop::BrokenPipe;
}

// Whether the program was started with the signal ignored, as nohup leaves SIGHUP.
bool ignoredAtStart(int number)
{
    struct sigaction current { };
    return ::sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

#elif defined(Q_OS_WIN)

BOOL WINAPI onConsoleEvent(DWORD event)
{
    const Stop stop = event == CTRL_C_EVENT ? Stop::Interrupt : Stop::Terminate;
    // The console calls this on a thread of its own.
    if (StopSignals* stops = StopSignals::current())
        QMetaObject::invokeMethod(
            stops, [stops, stop] { stops->request(stop); }, Qt::QueuedConnection);
    return TRUE;
}

#endif

} // namespace

StopSignals* StopSignals::current_ = nullptr;

StopSignals::StopSignals()
{
    current_ = this;
#ifdef Q_OS_UNIX
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(signalPipe[1], &byte, 1) == 1)
            request(stopOf(byte));
    });
    struct sigaction action { };
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : { SIGINT, SIGTERM, SIGPIPE })
        ::sigaction(number, &action, nullptr);
    if (!ignoredAtStart(SIGHUP))
        ::sigaction(SIGHUP, &action, nullptr);
#elif defined(Q_OS_WIN)
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#endif
}

StopSignals::~StopSignals()
{
    current_ = nullptr;
}

void StopSignals::request(Stop stop)
{
    // The first signal decides the exit status; the later ones stop nothing more.
    if (stop_ != Stop::None)
        return;
    stop_ = stop;
    emit stopped();
}

int exitStatusOf(Stop stop)
{
    switch (stop) {
    case Stop::None:
        return 0;
    case Stop::Interrupt:
        return 128 + 2;
    case Stop::Terminate:
        return 128 + 15;
    case Stop::HangUp:
        return 128 + 1;
    case Stop::BrokenPipe:
        return 128 + 13;
    }
    return 1;
}

QString stopText()
{
    switch (StopSignals::current() ? StopSignals::current()->stop() : Stop::None) {
    case Stop::Terminate:
        return QStringLiteral("terminated");
    case Stop::HangUp:
        return QStringLiteral("hung up");
    case Stop::BrokenPipe:
        return QStringLiteral("the reader of standard output went away");
    default:
        return QStringLiteral("interrupted");
    }
}

} // namespace cli
