#pragma once

#include "rtu/port_settings.h"

#include <QtGlobal>

#include <chrono>
#include <optional>

// How long things take on a serial line. Time is an argument here: the caller's loop owns the
// clock, and these functions only compute with its readings.
namespace line {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

// One character on the line: a start bit, the data bits, a parity bit unless none, the stop
// bits.
nanoseconds characterTime(const PortSettings& settings);
nanoseconds transferTime(const PortSettings& settings, qsizetype bytes);

// The silence that ends a frame: 3.5 characters, and never less than the 16 ms in which a USB
// adapter may hold bytes back before it hands them over.
nanoseconds interFrameGap(const PortSettings& settings);

// Where one request stands, in times since the master began to write it.
struct ReplyWait {
    nanoseconds writtenAt; // when the driver took the whole request
    qsizetype requestBytes;
    milliseconds timeout; // for the module to begin its reply once the request has left
    std::optional<nanoseconds> firstByteAt; // when the reply began, once it has
    qsizetype replyBytes; // the size of the whole reply
};

// When the master gives the reply up: the timeout after the request has left the port; once
// the reply has begun, not before its own transfer time (and a USB adapter's delay) is over.
nanoseconds replyDeadline(const PortSettings& settings, const ReplyWait& wait);

} // namespace line
