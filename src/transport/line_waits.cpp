#include "line_waits.h"

#include <QElapsedTimer>

namespace line {

using std::chrono::nanoseconds;

Arrival readWithin(Line& line, nanoseconds within)
{
    using Event = Arrival::Event;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (line.interrupted())
            return { Event::Interrupted, {} };
        // Asking first: on Windows that is what brings bytes in (see SerialLine).
        if (QByteArray bytes = line.readAll(); !bytes.isEmpty())
            return { Event::Bytes, bytes };
        if (!line.isOpen())
            return { Event::Lost, {} };
        // A wait may end early on news that is none of the reader's: the line's own traffic.
        const nanoseconds left = within - nanoseconds(clock.nsecsElapsed());
        if (left <= nanoseconds::zero())
            return { Event::TimedOut, {} };
        line.await(left);
    }
}

Quiet waitForQuiet(Line& line, nanoseconds gap, nanoseconds bound)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const nanoseconds left = bound - nanoseconds(clock.nsecsElapsed());
        if (left <= nanoseconds::zero())
            return Quiet::Babbling;
        switch (readWithin(line, std::min(gap, left)).event) {
        case Arrival::Event::TimedOut:
            return left >= gap ? Quiet::Quiet : Quiet::Babbling;
        case Arrival::Event::Lost:
            return Quiet::Lost;
        case Arrival::Event::Interrupted:
            return Quiet::Interrupted;
        case Arrival::Event::Bytes:
            break;
        }
    }
}

bool dropFor(Line& line, nanoseconds time)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const nanoseconds left = time - nanoseconds(clock.nsecsElapsed());
        if (left <= nanoseconds::zero())
            return true;
        switch (readWithin(line, left).event) {
        case Arrival::Event::Interrupted:
            return false;
        case Arrival::Event::Lost:
            return true;
        default:
            break;
        }
    }
}

} // namespace line
