#pragma once

#include <QByteArray>
#include <QFile>

#include <optional>

namespace cli {

// How a read of a stream ended.
enum class ReadEnd { Whole, TooLong, TimedOut, Stopped, Failed };

struct BoundedRead {
    QByteArray bytes;
    ReadEnd end = ReadEnd::Whole;
    int error = 0; // the errno of a failed read
};

// Reads an open stream (a pipe, a FIFO, a device) to its end, but no more than limit bytes and,
// given withinMs, for no longer than that; Ctrl+C ends the wait too.
BoundedRead readBounded(QFile& stream, qsizetype limit, std::optional<int> withinMs);

} // namespace cli
