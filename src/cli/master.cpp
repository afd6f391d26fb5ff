#include "master.h"

#include "link/hex_trace.h"
#include "modbus/crc16.h"
#include "modbus/functions.h"

#include <QElapsedTimer>

#include <algorithm>
#include <array>
#include <cmath>

namespace cli {

namespace {

// A USB adapter hands bytes over in chunks, up to 16 ms apart; a reply on its way gets this
// much beyond its own transfer time.
constexpr double kArrivalSlackMs = 20;
// A device that streams without end does not hold the next request back for longer.
constexpr qint64 kMaxDrainMs = 2000;

// The Modbus names of the exception codes 1 to 6.
QString exceptionName(std::uint8_t code)
{
    static constexpr std::array<const char*, 6> kNames { "illegal function", "illegal data address",
        "illegal data value", "server device failure", "acknowledge", "server device busy" };
    return code >= 1 && code <= kNames.size() ? QString::fromLatin1(kNames[code - 1U])
                                              : QStringLiteral("unknown exception");
}

QString twoDigits(std::uint8_t byte)
{
    return QString::number(byte, 16).rightJustified(2, u'0').toUpper();
}

bool isWrite(const QByteArray& request)
{
    const auto function = static_cast<std::uint8_t>(request[1]);
    return function == modbus::kWriteSingleRegister || function == modbus::kWriteMultipleRegisters;
}

// The reply to a write repeats the request's address, function, register and value (one
// register) or count (several).
bool echoes(const QByteArray& request, const QByteArray& reply)
{
    return reply.size() >= 6 && reply.first(6) == request.first(6);
}

} // namespace

Master::Master(int timeoutMs, bool verbose, QTextStream& err)
    : timeoutMs_(timeoutMs)
    , verbose_(verbose)
    , err_(err)
{
}

std::optional<QString> Master::open(const QString& device, const line::PortSettings& settings)
{
    port_.close();
    settings_ = settings;
    if (port_.open(device, settings))
        return std::nullopt;
    return port_.failure();
}

void Master::close()
{
    port_.close();
}

double Master::transferMs(qsizetype bytes) const
{
    const int bitsPerByte
        = 1 + settings_.dataBits + (settings_.parity == 'N' ? 0 : 1) + settings_.stopBits;
    return static_cast<double>(bytes * bitsPerByte) * 1000.0 / settings_.baud;
}

// A reply that comes after the timeout must not pass for the reply to the next request to the
// same slave: the line has to stay quiet for a timeout before that request goes out.
void Master::drainLateReply()
{
    QElapsedTimer clock;
    clock.start();
    while (port_.waitForReadyRead(timeoutMs_) && clock.elapsed() < kMaxDrainMs)
        port_.readAll();
}

Answer Master::ask(const QByteArray& request)
{
    Answer answer;
    answer.request = modbus::framed(request);
    if (lateSlave_ == static_cast<std::uint8_t>(request[0]))
        drainLateReply();
    port_.discardInput();
    if (verbose_)
        err_ << "send: " << line::hexTrace(answer.request).trimmed() << Qt::endl;

    QElapsedTimer clock;
    clock.start();
    if (!port_.write(answer.request)) {
        answer.unwritten = true;
        answer.progress = line::replyProgress(answer.request, {});
        return answer;
    }
    // The write returns once the driver has the frame; it leaves the port at the line's pace.
    const double left
        = static_cast<double>(clock.nsecsElapsed()) / 1e6 + transferMs(answer.request.size());
    double deadline = left + timeoutMs_;
    for (;;) {
        answer.progress = line::replyProgress(answer.request, answer.reply);
        if (answer.progress.state != line::ReplyState::Incomplete)
            break;
        const double now = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        if (now >= deadline || !port_.isOpen())
            break;
        if (!port_.waitForReadyRead(static_cast<int>(std::ceil(deadline - now))))
            continue;
        const QByteArray arrived = port_.readAll();
        const double at = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        if (answer.reply.isEmpty() && !arrived.isEmpty())
            deadline = std::max(deadline, at + transferMs(answer.progress.size) + kArrivalSlackMs);
        answer.reply += arrived;
        answer.roundTripMs = at;
    }
    if (verbose_ && !answer.reply.isEmpty())
        err_ << "recv: " << line::hexTrace(answer.reply).trimmed() << Qt::endl;
    lateSlave_ = answer.progress.state == line::ReplyState::Incomplete
        ? static_cast<std::uint8_t>(request[0])
        : -1;
    return answer;
}

QString problem(const Answer& answer, int timeoutMs)
{
    const QByteArray& reply = answer.reply;
    if (answer.unwritten)
        return QStringLiteral("the port did not take the request");
    switch (answer.progress.state) {
    case line::ReplyState::Complete:
        if (isWrite(answer.request) && !echoes(answer.request, reply))
            return QStringLiteral("reply does not echo the request");
        return {};
    case line::ReplyState::Incomplete:
        return reply.isEmpty() ? QStringLiteral("no reply within %1 ms").arg(timeoutMs)
                               : QStringLiteral("reply too short");
    case line::ReplyState::Exception:
        return QStringLiteral("exception %1 (%2)")
            .arg(twoDigits(answer.progress.exceptionCode),
                exceptionName(answer.progress.exceptionCode));
    case line::ReplyState::WrongAddress:
        return QStringLiteral("reply from slave %1").arg(static_cast<std::uint8_t>(reply[0]));
    case line::ReplyState::WrongFunction:
        return QStringLiteral("reply to another function (%1)")
            .arg(twoDigits(static_cast<std::uint8_t>(reply.at(1))));
    case line::ReplyState::WrongByteCount:
        return QStringLiteral("reply with a wrong byte count");
    case line::ReplyState::TooLong:
        return QStringLiteral("reply too long");
    case line::ReplyState::BadCrc:
        return QStringLiteral("bad CRC");
    }
    return {};
}

Failure failureOf(const Answer& answer)
{
    if (answer.unwritten)
        return Failure::Other;
    switch (answer.progress.state) {
    case line::ReplyState::Complete:
        return problem(answer, 0).isEmpty() ? Failure::None : Failure::Other;
    case line::ReplyState::Incomplete:
        return answer.reply.isEmpty() ? Failure::NoReply : Failure::Other;
    case line::ReplyState::BadCrc:
        return Failure::BadCrc;
    case line::ReplyState::Exception:
        return Failure::Exception;
    default:
        return Failure::Other;
    }
}

} // namespace cli
