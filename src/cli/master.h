#pragma once

#include "link/blocking_line.h"
#include "link/failure.h"
#include "link/port_settings.h"
#include "link/reply.h"

#include <QByteArray>
#include <QString>
#include <QTextStream>

#include <memory>
#include <optional>

// The command line's end of the serial line: one request at a time, finished as soon as the
// reply is whole, or when the module has been silent for the timeout.
namespace cli {

struct Answer {
    QByteArray request; // as framed, CRC included
    QByteArray reply; // everything that arrived
    line::ReplyProgress progress;
    line::Failure failure = line::Failure::None;
    QString error; // what went wrong, for the operator; empty when nothing did
    double roundTripMs = 0; // from the write to the last byte in
    bool interrupted = false; // a stop signal ended the request

    bool ok() const { return failure == line::Failure::None && !interrupted; }
    bool silent() const { return reply.isEmpty(); }
};

class Master {
public:
    Master(int timeoutMs, bool verbose, QTextStream& err);
    // Leaves the line quiet for the next program, unless a stop signal came.
    ~Master();
    Master(const Master&) = delete;
    Master& operator=(const Master&) = delete;

    // Why the device could not be used, or nothing.
    std::optional<QString> open(const QString& device, const line::PortSettings& settings);
    void close();
    int timeoutMs() const { return timeoutMs_; }

    // Frames the request, waits for a quiet line where the last answer leaves bytes on their
    // way, drops what waited, writes the frame and waits for the reply: until it is whole or
    // can no longer be, or the module stays silent for the timeout after the request has
    // left. A reply that has begun gets its transfer time on top.
    Answer ask(const QByteArray& request);

    // Sends a request that wants no answer (a broadcast), then drops whatever arrives while it
    // and an echo of it are on the line and for settleMs after; false when a stop signal ended
    // the wait.
    bool broadcast(const QByteArray& request, int settleMs);

    // Waits, dropping whatever arrives; false when a stop signal ended the wait.
    bool pause(int ms);

private:
    void useLine(std::unique_ptr<line::BlockingLine> line);
    void settle(int slave);
    void awaitReply(Answer& answer);
    void conclude(Answer& answer, int slave);

    std::unique_ptr<line::BlockingLine> line_;
    QString device_; // the device the line was last opened on
    line::PortSettings settings_;
    int timeoutMs_;
    bool verbose_;
    QTextStream& err_;
    // The slave whose reply did not come in time and may still be on its way, or -1.
    int lateSlave_ = -1;
    // The rest of a refused frame may still be arriving.
    bool tailPending_ = false;
};

// The exit status of a failed answer: the port's own, or the module's fault.
int exitStatusOf(const Answer& answer);

} // namespace cli
