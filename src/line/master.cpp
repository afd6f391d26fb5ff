#include "master.h"

#include "line/line_for.h"
#include "modbus/crc16.h"
#include "modbus/functions.h"
#include "rtu/line_timing.h"
#include "transport/line_waits.h"

#include <QElapsedTimer>

#include <chrono>

namespace line {

namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

// A device that streams without end does not hold the next request back for longer.
constexpr milliseconds kMaxQuiet { 2000 };

double inMs(nanoseconds time)
{
    return std::chrono::duration<double, std::milli>(time).count();
}

// Whether the reply to one request would pass every check of the reply to the other: the same
// slave and function, the same size, and for a write the same echo.
bool sameReply(const QByteArray& a, const QByteArray& b)
{
    constexpr qsizetype kEchoed = 6;
    if (a.size() < kEchoed || b.size() < kEchoed || a.first(2) != b.first(2)
        || completeReplySize(a) != completeReplySize(b))
        return false;
    const bool read = static_cast<std::uint8_t>(a[1]) == modbus::kReadHoldingRegisters;
    return read || a.first(kEchoed) == b.first(kEchoed);
}

} // namespace

Master::Master(int timeoutMs, QObject* parent)
    : QObject(parent)
    , timeoutMs_(timeoutMs)
{
}

Master::~Master()
{
    close();
}

void Master::interrupt()
{
    interrupted_ = true;
    if (line_)
        line_->interrupt();
}

std::optional<LineFault> Master::open(const LineAddress& address, const PortSettings& settings)
{
    close();
    lateRequest_.clear();
    tailPending_ = false;
    trickle_ = {};
    if (!line_ || !(line_->address() == address)) {
        std::optional<LineFault> why;
        line_ = lineFor(address, nullptr, &why);
        if (!line_)
            return why;
    }
    if (interrupted_)
        line_->interrupt();
    return line_->open(settings);
}

// What the line still owes is kept: a pseudo-terminal or a device server passes a late reply
// at the old rate on unchanged, where a serial line would garble it.
std::optional<LineFault> Master::changeSettings(const PortSettings& settings)
{
    if (!line_)
        return LineFault { Failure::Unusable, QStringLiteral("no line is open") };
    return line_->changeSettings(settings);
}

void Master::close()
{
    if (!line_ || !line_->isOpen())
        return;
    // A late reply must not pass for the reply to the next program's first request either.
    settle({});
    line_->close();
}

std::optional<LineFault> Master::lineFault() const
{
    if (!line_ || !line_->lostFault())
        return std::nullopt;
    return LineFault { line_->lostFault()->kind,
        QStringLiteral("%1: %2").arg(line_->address().label(), line_->lostFault()->text) };
}

// A reply that comes after the timeout must not pass for the reply to the next request, nor
// the tail of a refused frame collide with the next request: the line has to fall quiet first,
// for the timeout or for the gap between frames. A late reply that the next request's checks
// would refuse (another slave, another size) needs no wait; before the line closes any may
// meet the next program's first request.
void Master::settle(const QByteArray& next)
{
    const bool late = !lateRequest_.isEmpty() && (next.isEmpty() || sameReply(lateRequest_, next));
    const bool trickling = trickle_ > nanoseconds::zero();
    if ((!late && !tailPending_ && !trickling) || interrupted_)
        return;
    const PortSettings& settings = line_->settings();
    nanoseconds gap = interFrameGap(settings);
    if (late || trickling)
        gap = std::max(gap, nanoseconds(milliseconds(timeoutMs_)));
    // A reply that trickles in goes on after each of its silences: the line is quiet only once
    // it has been silent for longer than those.
    if (trickling)
        gap = std::max(gap, 2 * trickle_);
    if (waitForQuiet(*line_, gap, kMaxQuiet) == Quiet::Babbling && !next.isEmpty())
        emit warning(QStringLiteral("the line did not fall quiet within %1 ms; sending all the "
                                    "same")
                         .arg(kMaxQuiet.count()));
    if (late)
        lateRequest_.clear();
    tailPending_ = false;
    trickle_ = {};
}

Answer Master::ask(const QByteArray& request)
{
    Answer answer;
    answer.request = modbus::framed(request);
    if (line_ && line_->isOpen()) {
        settle(answer.request);
        line_->discardInput();
        emit sent(answer.request);
        awaitReply(answer);
        if (!answer.reply.isEmpty())
            emit received(answer.reply);
    }
    conclude(answer);
    return answer;
}

void Master::awaitReply(Answer& answer)
{
    QElapsedTimer clock;
    clock.start();
    if (interrupted_ || !line_->write(answer.request))
        return;
    collect(answer, clock, answer.request.size());
}

Answer Master::awaitLate(const Answer& unfinished)
{
    Answer answer;
    answer.request = unfinished.request;
    answer.reply = unfinished.reply;
    if (line_ && line_->isOpen() && !interrupted_) {
        QElapsedTimer clock;
        clock.start();
        collect(answer, clock, 0);
        if (answer.reply.size() > unfinished.reply.size())
            emit received(answer.reply);
    }
    conclude(answer);
    return answer;
}

void Master::collect(Answer& answer, const QElapsedTimer& clock, qsizetype requestBytes)
{
    const auto now = [&clock] { return nanoseconds(clock.nsecsElapsed()); };
    ReplyWait wait { now(), requestBytes, milliseconds(timeoutMs_), std::nullopt,
        completeReplySize(answer.request) };
    nanoseconds lastByteAt {};
    // A reply taken up again is on its way already.
    if (!answer.reply.isEmpty())
        wait.firstByteAt = lastByteAt;
    for (;;) {
        answer.progress = replyProgress(answer.request, answer.reply);
        const nanoseconds left = replyDeadline(line_->settings(), wait) - now();
        if (answer.progress.state != ReplyState::Incomplete || left <= nanoseconds::zero())
            break;
        const Arrival arrival = readWithin(*line_, left);
        if (arrival.event == Arrival::Event::TimedOut)
            continue;
        if (arrival.event != Arrival::Event::Bytes)
            return;
        const nanoseconds at = now();
        if (wait.firstByteAt)
            answer.longestPause = std::max(answer.longestPause, at - lastByteAt);
        else
            wait.firstByteAt = at;
        lastByteAt = at;
        answer.reply += arrival.bytes;
        answer.roundTripMs = inMs(at);
    }
    if (wait.firstByteAt)
        answer.finalSilence = now() - lastByteAt;
}

void Master::conclude(Answer& answer)
{
    if (interrupted_) {
        answer.failure = Failure::Interrupted;
        answer.error = failureText(Failure::Interrupted, {});
        return;
    }
    if (const auto fault = lineFault()) {
        answer.failure = fault->kind;
        answer.error = fault->text;
        return;
    }
    if (!line_ || !line_->isOpen()) {
        answer.failure = Failure::Lost;
        answer.error = QStringLiteral("the port is closed");
        return;
    }
    answer.failure = failureOf(answer.progress, answer.reply.size());
    lateRequest_.clear();
    answer.error = replyFailureText(answer.failure, answer.progress, answer.reply, timeoutMs_);
    // Unfinished, with a silence inside that ends a frame, or still coming when the wait ended.
    const nanoseconds frameEnd = interFrameGap(line_->settings());
    if (answer.progress.state == ReplyState::Incomplete && !answer.silent()
        && (answer.longestPause > frameEnd || answer.finalSilence < frameEnd)) {
        answer.error = failureText(Failure::WrongLength,
            QStringLiteral("came too slowly or in pieces (%1 of %2 bytes in time)")
                .arg(answer.reply.size())
                .arg(answer.progress.size));
        trickle_ = std::max(answer.longestPause, frameEnd);
    }
    switch (answer.failure) {
    case Failure::None:
    case Failure::Exception:
    case Failure::WrongEcho:
        // A whole frame: nothing more is on its way.
        break;
    case Failure::NoReply:
        // Its reply may still come.
        lateRequest_ = answer.request;
        break;
    default:
        // Refused before its end, or cut short: the rest may still be arriving.
        tailPending_ = true;
        break;
    }
}

bool Master::broadcast(const QByteArray& request, int settleMs)
{
    const QByteArray frame = modbus::framed(request);
    if (!line_ || !line_->isOpen() || interrupted_)
        return false;
    settle(frame);
    line_->discardInput();
    emit sent(frame);
    if (!line_->write(frame))
        return false;
    // The frame itself, and an echo of it as some modules send: both are over by then.
    const auto onTheLine
        = std::chrono::ceil<milliseconds>(transferTime(line_->settings(), 2 * frame.size()));
    return pause(static_cast<int>(onTheLine.count()) + settleMs);
}

bool Master::pause(int ms)
{
    if (interrupted_)
        return false;
    if (!line_ || !line_->isOpen())
        return true;
    return dropFor(*line_, milliseconds(ms));
}

} // namespace line
