#include "master.h"

#include "link/line_timing.h"
#include "link/line_waits.h"
#include "modbus/crc16.h"

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
    lateSlave_ = -1;
    tailPending_ = false;
    if (!line_ || !(line_->address() == address))
        line_ = lineFor(address);
    if (interrupted_)
        line_->interrupt();
    return line_->open(settings);
}

// A late reply at the old rate cannot pass for a reply at the new one: its characters are
// framed at another rate, so it fails the CRC. The tail of a refused frame still holds back
// the next request until the line is quiet.
std::optional<LineFault> Master::changeSettings(const PortSettings& settings)
{
    if (!line_)
        return LineFault { Failure::Unusable, QStringLiteral("no line is open") };
    lateSlave_ = -1;
    return line_->changeSettings(settings);
}

void Master::close()
{
    if (!line_ || !line_->isOpen())
        return;
    // A late reply must not pass for the reply to the next program's first request either.
    settle(lateSlave_, Before::Close);
    line_->close();
}

std::optional<LineFault> Master::lineFault() const
{
    if (!line_ || !line_->lostFault())
        return std::nullopt;
    return LineFault { line_->lostFault()->kind,
        QStringLiteral("%1: %2").arg(line_->address().label(), line_->lostFault()->text) };
}

// A reply that comes after the timeout must not pass for the reply to the next request to the
// same slave, nor the tail of a refused frame collide with the next request: the line has to
// fall quiet first, for the timeout or for the gap between frames.
void Master::settle(int slave, Before before)
{
    const bool late = lateSlave_ >= 0 && lateSlave_ == slave;
    if ((!late && !tailPending_) || interrupted_)
        return;
    const PortSettings& settings = line_->settings();
    const nanoseconds gap = late ? nanoseconds(milliseconds(timeoutMs_)) : interFrameGap(settings);
    if (waitForQuiet(*line_, std::max(gap, interFrameGap(settings)), kMaxQuiet) == Quiet::Babbling
        && before == Before::Request)
        emit warning(QStringLiteral("the line did not fall quiet within %1 ms; sending all the "
                                    "same")
                         .arg(kMaxQuiet.count()));
    lateSlave_ = -1;
    tailPending_ = false;
}

Answer Master::ask(const QByteArray& request)
{
    Answer answer;
    answer.request = modbus::framed(request);
    const int slave = static_cast<std::uint8_t>(request[0]);
    if (line_ && line_->isOpen()) {
        settle(slave, Before::Request);
        line_->discardInput();
        emit sent(answer.request);
        awaitReply(answer);
        if (!answer.reply.isEmpty())
            emit received(answer.reply);
    }
    conclude(answer, slave);
    return answer;
}

void Master::awaitReply(Answer& answer)
{
    QElapsedTimer clock;
    clock.start();
    const auto now = [&clock] { return nanoseconds(clock.nsecsElapsed()); };
    if (interrupted_ || !line_->write(answer.request))
        return;
    ReplyWait wait { now(), answer.request.size(), milliseconds(timeoutMs_), std::nullopt,
        completeReplySize(answer.request) };
    for (;;) {
        answer.progress = replyProgress(answer.request, answer.reply);
        const nanoseconds left = replyDeadline(line_->settings(), wait) - now();
        if (answer.progress.state != ReplyState::Incomplete || left <= nanoseconds::zero())
            return;
        const Arrival arrival = readWithin(*line_, left);
        if (arrival.event != Arrival::Event::Bytes) {
            if (arrival.event == Arrival::Event::TimedOut)
                continue;
            return;
        }
        if (!wait.firstByteAt)
            wait.firstByteAt = now();
        answer.reply += arrival.bytes;
        answer.roundTripMs = inMs(now());
    }
}

void Master::conclude(Answer& answer, int slave)
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
    lateSlave_ = -1;
    answer.error = replyFailureText(answer.failure, answer.progress, answer.reply, timeoutMs_);
    switch (answer.failure) {
    case Failure::None:
    case Failure::Exception:
    case Failure::WrongEcho:
        // A whole frame: nothing more is on its way.
        break;
    case Failure::NoReply:
        // Its reply may still come; only the same slave's could pass for the next one's.
        lateSlave_ = slave;
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
    settle(static_cast<std::uint8_t>(request[0]), Before::Request);
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
