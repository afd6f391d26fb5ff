#pragma once

#include "link/reply.h"

#include <QByteArray>
#include <QString>

#include <array>

namespace line {

// Everything that can go wrong with one request to a module.
enum class Failure {
    None,
    NoReply, // nothing came within the timeout
    BadCrc,
    Exception, // the module refused the request with an exception code
    WrongSlave, // the reply came from another address
    WrongFunction, // the reply answers another function
    WrongLength, // too short, too long, or a read reply announcing another byte count
    WrongEcho, // the answer to a write names another register, value or count
    Port, // the device failed or went away
};

struct FailureKind {
    Failure failure;
    const char* jsonName; // as scripts read it: "no_reply"
    const char* label; // in a statistics line: "no reply"
    const char* text; // the message; %1 stands for its detail
};

// Every failure, in the order statistics list them.
inline constexpr std::array<FailureKind, 8> kFailureKinds { {
    { Failure::NoReply, "no_reply", "no reply", "no reply within %1 ms" },
    { Failure::BadCrc, "bad_crc", "bad CRC", "bad CRC" },
    { Failure::Exception, "exception", "exception", "exception %1" },
    { Failure::WrongSlave, "wrong_slave", "wrong slave", "reply from slave %1" },
    { Failure::WrongFunction, "wrong_function", "wrong function",
        "reply to another function (%1)" },
    { Failure::WrongLength, "wrong_length", "wrong length", "reply %1" },
    { Failure::WrongEcho, "wrong_echo", "wrong echo", "reply does not echo the request" },
    { Failure::Port, "port", "port", "%1" },
} };

const FailureKind& failureKind(Failure failure);

// What a reply's progress comes to once the master has stopped waiting for it.
Failure failureOf(const ReplyProgress& progress, qsizetype receivedBytes);

// The message of a failure whose detail is known: failureText(Failure::WrongSlave, "2") is
// "reply from slave 2".
QString failureText(Failure failure, const QString& detail);

// The message of a failure of the reply itself: "no reply within 200 ms", "reply too short",
// "exception 03 (illegal data value)", "reply from slave 2".
QString replyFailureText(
    Failure failure, const ReplyProgress& progress, const QByteArray& received, int timeoutMs);

} // namespace line
