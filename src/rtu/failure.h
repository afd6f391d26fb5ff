#pragma once

#include <QByteArray>
#include <QString>

#include <array>

namespace line {

// Everything that can go wrong with a line or with one request on it, for every front end: the
// window picks its message box by it, the command line its exit status and JSON, statistics
// their counts.
enum class Failure {
    None,
    // The reply to a request.
    NoReply, // nothing came within the timeout
    BadCrc,
    Exception, // the module refused the request with an exception code
    WrongSlave, // the reply came from another address
    WrongFunction, // the reply answers another function
    WrongLength, // too short, too long, or a read reply announcing another byte count
    WrongEcho, // the answer to a write names another register, value or count
    // The line itself.
    Lost, // the device went away, or the server's connection dropped, while in use
    Missing, // no such device, or nothing stands for the port's name
    Busy, // held by another program, or the server says so
    Denied, // this user may not open the device
    Unreachable, // no server at the address: host unknown, connection refused or not made
    Refused, // the server took the connection but does not give the line as asked
    Unusable, // the device does not open as a serial port, or the address is none
    Interrupted, // a stop signal, or a close, ended the wait
    // The call itself.
    BadRequest, // refused before anything was sent: a wrong call, a command message refused
};

struct FailureKind {
    Failure failure;
    const char* jsonName; // as scripts read it: "no_reply"
    const char* label; // in a statistics line: "no reply"
    const char* text; // the message; %1 stands for its detail
};

// Every failure, in the order statistics list them: first those a request can meet.
inline constexpr std::array<FailureKind, 16> kFailureKinds { {
    { Failure::NoReply, "no_reply", "no reply", "no reply within %1 ms" },
    { Failure::BadCrc, "bad_crc", "bad CRC", "bad CRC" },
    { Failure::Exception, "exception", "exception", "exception %1" },
    { Failure::WrongSlave, "wrong_slave", "wrong slave", "reply from slave %1" },
    { Failure::WrongFunction, "wrong_function", "wrong function",
        "reply to another function (%1)" },
    { Failure::WrongLength, "wrong_length", "wrong length", "reply %1" },
    { Failure::WrongEcho, "wrong_echo", "wrong echo", "reply does not echo the request" },
    { Failure::Lost, "port", "port", "%1" },
    { Failure::Missing, "missing", "missing", "%1" },
    { Failure::Busy, "busy", "busy", "%1" },
    { Failure::Denied, "denied", "denied", "%1" },
    { Failure::Unreachable, "unreachable", "unreachable", "%1" },
    { Failure::Refused, "refused", "refused", "%1" },
    { Failure::Unusable, "unusable", "unusable", "%1" },
    { Failure::Interrupted, "interrupted", "interrupted", "interrupted" },
    { Failure::BadRequest, "bad_request", "bad request", "%1" },
} };

// The kinds a request can end in: what statistics count.
inline constexpr std::size_t kRequestFailureCount = 8;

const FailureKind& failureKind(Failure failure);

// Whether the failure is the line's (the port or the server), not the module's answer.
bool isLineFailure(Failure failure);

// What went wrong with a line, and the words for it: "connection refused (nothing takes
// connections on port 4001)". The device or address it befell is the caller's to name.
struct LineFault {
    Failure kind = Failure::None;
    QString text;

    friend bool operator==(const LineFault&, const LineFault&) = default;
};

// The message of a failure whose detail is known: failureText(Failure::WrongSlave, "2") is
// "reply from slave 2".
QString failureText(Failure failure, const QString& detail);

} // namespace line
