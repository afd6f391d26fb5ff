#pragma once

#include "transport/line.h"

#include <QByteArray>

#include <chrono>

// The blocking waits of a master that may block, written once over any line.
namespace line {

struct Arrival {
    enum class Event { Bytes, TimedOut, Lost, Interrupted };
    Event event;
    QByteArray bytes;
};

// The bytes that arrive within the time, as soon as there are any.
Arrival readWithin(Line& line, std::chrono::nanoseconds within);

enum class Quiet { Quiet, Babbling, Lost, Interrupted };

// Reads and drops until the line has been silent for the gap, but for no longer than the
// bound: a device that sends without end must not hold the master for ever.
Quiet waitForQuiet(Line& line, std::chrono::nanoseconds gap, std::chrono::nanoseconds bound);

// Reads and drops for the time; false when an interrupt ended the wait. A line that goes
// away ends it too: the next request says so.
bool dropFor(Line& line, std::chrono::nanoseconds time);

} // namespace line
