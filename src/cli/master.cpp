#include "master.h"

#include "exit_code.h"
#include "stop_signals.h"

#include "link/hex_trace.h"
#include "link/line_choice.h"
#include "link/line_timing.h"
#include "link/network_address.h"
#include "modbus/crc16.h"

#include <QElapsedTimer>

#include <chrono>

namespace cli {

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

Master::Master(int timeoutMs, bool verbose, QTextStream& err)
    : timeoutMs_(timeoutMs)
    , verbose_(verbose)
    , err_(err)
{
    useLine(line::blockingLineFor({}));
}

// A stop signal ends the waits of whichever line is in use.
void Master::useLine(std::unique_ptr<line::BlockingLine> line)
{
    line_ = std::move(line);
    if (const StopSignals* stops = StopSignals::current()) {
        QObject::connect(stops, &StopSignals::stopped, line_.get(), &line::BlockingLine::interrupt);
        if (stops->stop() != Stop::None)
            line_->interrupt();
    }
}

Master::~Master()
{
    close();
}

std::optional<QString> Master::open(const QString& device, const line::PortSettings& settings)
{
    close();
    settings_ = settings;
    lateSlave_ = -1;
    tailPending_ = false;
    if (auto why = line::unreachable(device))
        return why;
    if (line::namesNetworkLine(device) != line::namesNetworkLine(device_))
        useLine(line::blockingLineFor(device));
    device_ = device;
    if (auto why = line_->open(device, settings))
        return why;
    // A frame on its way when the port opened is no reply to this program's first request.
    tailPending_ = true;
    return std::nullopt;
}

void Master::close()
{
    if (!line_->isOpen())
        return;
    // A late reply must not pass for the reply to the next program's first request either.
    settle(lateSlave_);
    line_->close();
}

// A reply that comes after the timeout must not pass for the reply to the next request to the
// same slave, nor the tail of a refused frame collide with the next request: the line has to
// fall quiet first, for the timeout or for the gap between frames.
void Master::settle(int slave)
{
    const bool late = lateSlave_ >= 0 && lateSlave_ == slave;
    if (!late && !tailPending_)
        return;
    const nanoseconds gap
        = late ? nanoseconds(milliseconds(timeoutMs_)) : line::interFrameGap(settings_);
    if (line::waitForQuiet(*line_, std::max(gap, line::interFrameGap(settings_)), kMaxQuiet)
        == line::Quiet::Babbling)
        err_ << "pwm5ctl: the line did not fall quiet within " << kMaxQuiet.count()
             << " ms; sending all the same" << Qt::endl;
    lateSlave_ = -1;
    tailPending_ = false;
}

Answer Master::ask(const QByteArray& request)
{
    Answer answer;
    answer.request = modbus::framed(request);
    const int slave = static_cast<std::uint8_t>(request[0]);
    settle(slave);
    line_->discardInput();
    if (verbose_)
        err_ << "send: " << line::hexTrace(answer.request).trimmed() << Qt::endl;
    awaitReply(answer);
    if (verbose_ && !answer.reply.isEmpty())
        err_ << "recv: " << line::hexTrace(answer.reply).trimmed() << Qt::endl;
    conclude(answer, slave);
    return answer;
}

void Master::awaitReply(Answer& answer)
{
    QElapsedTimer clock;
    clock.start();
    const auto now = [&clock] { return nanoseconds(clock.nsecsElapsed()); };
    if (line_->interrupted() || !line_->write(answer.request))
        return;
    line::ReplyWait wait { now(), answer.request.size(), milliseconds(timeoutMs_), std::nullopt,
        line::completeReplySize(answer.request) };
    for (;;) {
        answer.progress = line::replyProgress(answer.request, answer.reply);
        const nanoseconds left = line::replyDeadline(settings_, wait) - now();
        if (answer.progress.state != line::ReplyState::Incomplete || left <= nanoseconds::zero())
            return;
        const line::BlockingLine::Arrival arrival = line_->read(left);
        if (arrival.event != line::BlockingLine::Event::Bytes) {
            if (arrival.event == line::BlockingLine::Event::TimedOut)
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
    using line::Failure;
    if (line_->interrupted()) {
        answer.interrupted = true;
        answer.error = QStringLiteral("interrupted");
        return;
    }
    if (!line_->isOpen() || !line_->lostReason().isEmpty()) {
        answer.failure = Failure::Port;
        answer.error = line_->lostReason().isEmpty()
            ? QStringLiteral("the port is closed")
            : line::failureText(Failure::Port, line_->lostReason());
        return;
    }
    answer.failure = line::failureOf(answer.progress, answer.reply.size());
    lateSlave_ = -1;
    answer.error
        = line::replyFailureText(answer.failure, answer.progress, answer.reply, timeoutMs_);
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
    settle(request[0]);
    line_->discardInput();
    if (verbose_)
        err_ << "send: " << line::hexTrace(frame).trimmed() << Qt::endl;
    if (line_->interrupted() || !line_->write(frame))
        return false;
    // The frame itself, and an echo of it as some modules send: both are over by then.
    const auto onTheLine
        = std::chrono::ceil<milliseconds>(line::transferTime(settings_, 2 * frame.size()));
    return pause(static_cast<int>(onTheLine.count()) + settleMs);
}

bool Master::pause(int ms)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const nanoseconds left = milliseconds(ms) - nanoseconds(clock.nsecsElapsed());
        if (left <= nanoseconds::zero())
            return true;
        switch (line_->read(left).event) {
        case line::BlockingLine::Event::Interrupted:
            return false;
        case line::BlockingLine::Event::Lost:
            // The next request says so.
            return true;
        default:
            break;
        }
    }
}

int exitStatusOf(const Answer& answer)
{
    return answer.failure == line::Failure::Port ? kPortUnusable : kModuleFault;
}

} // namespace cli
