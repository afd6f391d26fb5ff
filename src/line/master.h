#pragma once

#include "ports/line_address.h"
#include "rtu/failure.h"
#include "rtu/port_settings.h"
#include "rtu/reply.h"
#include "transport/line.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace line {

// One request and what came of it.
struct Answer {
    QByteArray request; // as framed, CRC included
    QByteArray reply; // everything that arrived
    ReplyProgress progress;
    Failure failure = Failure::None;
    QString error; // what went wrong, for the operator; empty when nothing did
    double roundTripMs = 0; // from the write to the last byte in
    // The longest silence between two of the reply's bytes, and the silence after its last
    // byte when the master stopped waiting: a frame ends at 3.5 characters of silence, so a
    // reply still unfinished then came too slowly or in pieces.
    std::chrono::nanoseconds longestPause {};
    std::chrono::nanoseconds finalSilence {};

    bool ok() const { return failure == Failure::None; }
    bool silent() const { return reply.isEmpty(); }
    bool interrupted() const { return failure == Failure::Interrupted; }
    // What the reply holds, as the master judged it; it points into this answer's reply.
    ReplyView view() const { return replyView(failure, reply); }
};

// A master that may block, the command line's: one request at a time, finished as soon as the
// reply is whole, or when the module has been silent for the timeout. Its waits run a local
// event loop, so that the line's own events, a lost line and an interrupt all end them at once.
class Master : public QObject {
    Q_OBJECT

public:
    explicit Master(int timeoutMs, QObject* parent = nullptr);
    // Leaves the line quiet for the next program, unless interrupted.
    ~Master() override;

    // Opens the line at the address: why it cannot be used, or nothing.
    std::optional<LineFault> open(const LineAddress& address, const PortSettings& settings);
    // The line to open for its own address from now on, instead of the one lineFor() makes:
    // a test's scripted line.
    void useLine(std::unique_ptr<Line> line) { line_ = std::move(line); }
    // Other settings within a command (a rate to try, a module's new rate): on the open line
    // where the transport allows it, else by opening it again.
    std::optional<LineFault> changeSettings(const PortSettings& settings);
    void close();

    // The line of the last open; none before the first.
    const Line* line() const { return line_.get(); }
    int timeoutMs() const { return timeoutMs_; }

    // Frames the request, waits for a quiet line where the last answer leaves bytes on their
    // way, drops what waited, writes the frame and waits for the reply: until it is whole or
    // can no longer be, or the module stays silent for the timeout after the request has
    // left. A reply that has begun gets its transfer time on top.
    Answer ask(const QByteArray& request);

    // Waits once more, for the timeout, for the reply to the request of an answer, without
    // sending anything, and with what arrived of it so far: what a module slower than the
    // timeout, or modules that answered together late, send. The answer as ask() gives it.
    Answer awaitLate(const Answer& unfinished);

    // Sends a request that wants no answer (a broadcast), then drops whatever arrives while it
    // and an echo of it are on the line and for settleMs after; false when an interrupt ended
    // the wait, or the write failed (lineFault() says why).
    bool broadcast(const QByteArray& request, int settleMs);

    // Waits, dropping whatever arrives; false when an interrupt ended the wait.
    bool pause(int ms);

    bool interrupted() const { return interrupted_; }
    // Why the line went away, named by the line's label; nothing while it is in use.
    std::optional<LineFault> lineFault() const;

public slots:
    // Ends the wait in progress; every later one ends at once, also on a line opened later.
    void interrupt();

signals:
    // Each frame as it leaves, and each reply as it stands when the master stops waiting.
    void sent(const QByteArray& frame);
    void received(const QByteArray& reply);
    // Something the operator should know that is no failure.
    void warning(const QString& text);

private:
    // Before the next request (its frame), or before the line closes for the next program.
    void settle(const QByteArray& next);
    void awaitReply(Answer& answer);
    // Reads the reply to the request in answer; the clock started before the request's
    // requestBytes went out (none for a late reply), the timeout counts from their end.
    void collect(Answer& answer, const QElapsedTimer& clock, qsizetype requestBytes);
    void conclude(Answer& answer);

    std::unique_ptr<Line> line_;
    int timeoutMs_;
    bool interrupted_ = false;
    // The request whose reply did not come in time and may still be on its way, framed.
    QByteArray lateRequest_;
    // The rest of a refused frame may still be arriving.
    bool tailPending_ = false;
    // The last reply trickled in with silences this long: the rest of it still comes, and the
    // next request waits until the line has been quiet for longer than that.
    std::chrono::nanoseconds trickle_ {};
};

} // namespace line
