#include "reply.h"

#include "modbus/crc16.h"
#include "modbus/functions.h"

#include <algorithm>
#include <array>

namespace line {

namespace {

constexpr qsizetype kExceptionSize = 5;
// A read reply: address, function and byte count before the registers, the CRC after them.
constexpr qsizetype kReadHeaderSize = 3;
constexpr qsizetype kCrcSize = 2;
// Address, function, and the register and value (one register) or count (several) that the
// answer to a write repeats.
constexpr qsizetype kEchoedBytes = 6;

std::uint8_t byteAt(const QByteArray& bytes, qsizetype i)
{
    return static_cast<std::uint8_t>(bytes[i]);
}

bool isWrite(std::uint8_t function)
{
    return function == modbus::kWriteSingleRegister || function == modbus::kWriteMultipleRegisters;
}

// Which checks a rule makes beyond the address, the function, the size and the CRC.
struct Rule {
    bool exceptions; // an exception reply is read as such, not as another function
    bool byteCount;
    bool echo;
};

constexpr Rule kMaster { true, true, true };
// The window judges the bytes as they stand at its tick, against the size that arrived.
constexpr Rule kWindow { false, false, false };

ReplyProgress parse(
    const QByteArray& request, const QByteArray& received, qsizetype size, const Rule& rule)
{
    ReplyProgress progress { ReplyState::Incomplete, size };
    const auto settle = [&progress](ReplyState state) {
        progress.state = state;
        return progress;
    };
    if (request.size() < 2 || size == 0)
        return settle(ReplyState::WrongFunction);
    if (received.isEmpty())
        return progress;
    if (received[0] != request[0])
        return settle(ReplyState::WrongAddress);
    if (received.size() < 2)
        return progress;

    const std::uint8_t function = byteAt(request, 1);
    if (rule.exceptions && byteAt(received, 1) == (function | modbus::kExceptionFlag)) {
        if (received.size() < kExceptionSize)
            return progress;
        if (received.size() > kExceptionSize)
            return settle(ReplyState::TooLong);
        if (!modbus::crcMatches(received))
            return settle(ReplyState::BadCrc);
        progress.exceptionCode = byteAt(received, 2);
        return settle(ReplyState::Exception);
    }
    if (byteAt(received, 1) != function)
        return settle(ReplyState::WrongFunction);
    if (rule.byteCount && function == modbus::kReadHoldingRegisters && received.size() > 2
        && byteAt(received, 2) != progress.size - 5)
        return settle(ReplyState::WrongByteCount);
    if (received.size() < progress.size)
        return progress;
    if (received.size() > progress.size)
        return settle(ReplyState::TooLong);
    if (!modbus::crcMatches(received))
        return settle(ReplyState::BadCrc);
    if (rule.echo && isWrite(function)
        && received.first(kEchoedBytes) != request.first(kEchoedBytes))
        return settle(ReplyState::WrongEcho);
    return settle(ReplyState::Complete);
}

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

QString lengthDetail(ReplyState state)
{
    switch (state) {
    case ReplyState::TooLong:
        return QStringLiteral("too long");
    case ReplyState::WrongByteCount:
        return QStringLiteral("with a wrong byte count");
    default:
        return QStringLiteral("too short");
    }
}

} // namespace

ReplyView replyView(Failure failure, const QByteArray& received)
{
    ReplyView view;
    view.failure = failure;
    if (received.size() < kReadHeaderSize)
        return view;
    const std::uint8_t function = byteAt(received, 1);
    const std::uint8_t third = byteAt(received, 2);
    if (failure == Failure::Exception)
        view.exceptionCode = third;
    if (function != modbus::kReadHoldingRegisters
        || (failure != Failure::None && failure != Failure::WrongLength))
        return view;
    view.announcedBytes = third;
    if (failure == Failure::None && third % 2 == 0
        && third == received.size() - kReadHeaderSize - kCrcSize)
        view.registerBytes = std::span(
            reinterpret_cast<const std::uint8_t*>(received.constData()) + kReadHeaderSize, third);
    return view;
}

qsizetype completeReplySize(const QByteArray& request)
{
    if (request.size() < 6)
        return 0;
    switch (byteAt(request, 1)) {
    case modbus::kReadHoldingRegisters:
        // Address, function, byte count, two bytes a register, CRC.
        return 5 + 2 * (byteAt(request, 4) << 8 | byteAt(request, 5));
    case modbus::kWriteSingleRegister:
    case modbus::kWriteMultipleRegisters:
        return 8;
    default:
        return 0;
    }
}

ReplyProgress replyProgress(const QByteArray& request, const QByteArray& received)
{
    return parse(request, received, completeReplySize(request), kMaster);
}

bool isAcceptedLength(qsizetype replyBytes)
{
    static constexpr std::array<qsizetype, 9> kAccepted { 57, 33, 31, 21, 19, 17, 15, 8, 7 };
    return std::ranges::find(kAccepted, replyBytes) != kAccepted.end();
}

Failure judgeReply(const QByteArray& sentFrame, const QByteArray& received, qsizetype receivedTotal)
{
    if (received.isEmpty())
        return Failure::NoReply;
    if (receivedTotal != received.size() || !isAcceptedLength(received.size()))
        return Failure::WrongLength;
    switch (parse(sentFrame, received, received.size(), kWindow).state) {
    case ReplyState::Complete:
        return Failure::None;
    case ReplyState::BadCrc:
        return Failure::BadCrc;
    case ReplyState::WrongAddress:
        return Failure::WrongSlave;
    default:
        // Another function code than the request's: the only other way out.
        return Failure::WrongFunction;
    }
}

Failure failureOf(const ReplyProgress& progress, qsizetype receivedBytes)
{
    switch (progress.state) {
    case ReplyState::Complete:
        return Failure::None;
    case ReplyState::Incomplete:
        return receivedBytes == 0 ? Failure::NoReply : Failure::WrongLength;
    case ReplyState::Exception:
        return Failure::Exception;
    case ReplyState::WrongAddress:
        return Failure::WrongSlave;
    case ReplyState::WrongFunction:
        return Failure::WrongFunction;
    case ReplyState::WrongByteCount:
    case ReplyState::TooLong:
        return Failure::WrongLength;
    case ReplyState::BadCrc:
        return Failure::BadCrc;
    case ReplyState::WrongEcho:
        return Failure::WrongEcho;
    }
    return Failure::WrongLength;
}

QString replyFailureText(
    Failure failure, const ReplyProgress& progress, const QByteArray& received, int timeoutMs)
{
    switch (failure) {
    case Failure::NoReply:
        return failureText(failure, QString::number(timeoutMs));
    case Failure::Exception:
        return failureText(failure,
            QStringLiteral("%1 (%2)").arg(
                twoDigits(progress.exceptionCode), exceptionName(progress.exceptionCode)));
    case Failure::WrongSlave:
        return failureText(failure, QString::number(static_cast<std::uint8_t>(received.at(0))));
    case Failure::WrongFunction:
        return failureText(failure,
            received.size() > 1 ? twoDigits(static_cast<std::uint8_t>(received.at(1)))
                                : QStringLiteral("none"));
    case Failure::WrongLength:
        return failureText(failure, lengthDetail(progress.state));
    default:
        return failureText(failure, {});
    }
}

} // namespace line
