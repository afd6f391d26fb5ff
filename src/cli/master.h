#pragma once

#include "link/complete_reply.h"
#include "link/port_settings.h"
#include "link/qt_serial_port.h"

#include <QByteArray>
#include <QString>
#include <QTextStream>

#include <optional>

// The command line's end of the serial line: one request at a time, finished as soon as the
// reply is whole, or when the module has been silent for the timeout.
namespace cli {

struct Answer {
    QByteArray request; // as framed, CRC included
    QByteArray reply; // everything that arrived
    line::ReplyProgress progress;
    double roundTripMs = 0; // from the write to the last byte in
    bool unwritten = false; // the port would not take the request

    bool complete() const { return progress.state == line::ReplyState::Complete; }
    bool silent() const { return reply.isEmpty(); }
};

class Master {
public:
    Master(int timeoutMs, bool verbose, QTextStream& err);

    // Why the device could not be used, or nothing.
    std::optional<QString> open(const QString& device, const line::PortSettings& settings);
    void close();
    bool isOpen() const { return port_.isOpen(); }
    int timeoutMs() const { return timeoutMs_; }

    // Frames the request, drops what waited on the line, writes the frame and waits for the
    // reply: until it is whole or can no longer be, or the module stays silent for the timeout
    // after the request has left. A reply that has begun gets its transfer time on top.
    Answer ask(const QByteArray& request);

private:
    double transferMs(qsizetype bytes) const;
    void drainLateReply();

    line::QtSerialPort port_;
    line::PortSettings settings_;
    int timeoutMs_;
    bool verbose_;
    QTextStream& err_;
    // The slave whose reply did not come in time and may still be on its way, or -1.
    int lateSlave_ = -1;
};

// What went wrong with an answer, for the operator: "no reply within 200 ms", "bad CRC",
// "exception 03 (illegal data value)", "reply from slave 2", "reply too short". Empty when a
// whole reply came and, for a write, echoes the request.
QString problem(const Answer& answer, int timeoutMs);

// For the statistics of a monitor.
enum class Failure { None, NoReply, BadCrc, Exception, Other };
Failure failureOf(const Answer& answer);

} // namespace cli
