#include "bounded_read.h"

#include "stop_signals.h"

#ifdef Q_OS_UNIX
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace cli {

#ifdef Q_OS_UNIX

namespace {

// Reads what the descriptor holds now; false once the stream has ended or failed.
bool readAvailable(int fd, qsizetype limit, BoundedRead& read)
{
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got > 0) {
            read.bytes.append(chunk, got);
            if (read.bytes.size() > limit) {
                read.end = ReadEnd::TooLong;
                return false;
            }
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        read.end = got == 0 ? ReadEnd::Whole : ReadEnd::Failed;
        read.error = got == 0 ? 0 : errno;
        return false;
    }
}

} // namespace

BoundedRead readBounded(QFile& stream, qsizetype limit, std::optional<int> withinMs)
{
    BoundedRead read;
    const int fd = stream.handle();
    // The descriptor may be the terminal the shell shares: its flags are put back afterwards.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) {
        // A closed stdin: a notifier on it would never fire.
        read.end = ReadEnd::Failed;
        read.error = errno;
        return read;
    }
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);

    QEventLoop loop;
    QSocketNotifier readable(fd, QSocketNotifier::Read);
    QObject::connect(&readable, &QSocketNotifier::activated, &loop, [&] {
        if (!readAvailable(fd, limit, read))
            loop.quit();
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        read.end = ReadEnd::TimedOut;
        loop.quit();
    });
    if (withinMs)
        deadline.start(*withinMs);
    if (StopSignals* stops = StopSignals::current())
        QObject::connect(stops, &StopSignals::stopped, &loop, [&] {
            read.end = ReadEnd::Stopped;
            loop.quit();
        });
    // Only once the stream says it is readable: a FIFO that no writer has opened yet reads as
    // ended, but is not readable until one writes or comes and goes.
    loop.exec();
    ::fcntl(fd, F_SETFL, flags);
    return read;
}

#else

// Windows has no FIFOs to wait on: a pipe or a console is read to its end or to the limit.
BoundedRead readBounded(QFile& stream, qsizetype limit, std::optional<int>)
{
    BoundedRead read;
    read.bytes = stream.read(limit + 1);
    read.end = read.bytes.size() > limit ? ReadEnd::TooLong : ReadEnd::Whole;
    return read;
}

#endif

} // namespace cli
