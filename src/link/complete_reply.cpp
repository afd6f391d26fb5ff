#include "complete_reply.h"

#include "modbus/crc16.h"
#include "modbus/functions.h"

namespace line {

namespace {

constexpr qsizetype kExceptionSize = 5;

std::uint8_t byteAt(const QByteArray& bytes, qsizetype i)
{
    return static_cast<std::uint8_t>(bytes[i]);
}

} // namespace

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
    ReplyProgress progress { ReplyState::Incomplete, completeReplySize(request) };
    const auto settle = [&progress](ReplyState state) {
        progress.state = state;
        return progress;
    };
    if (progress.size == 0)
        return settle(ReplyState::WrongFunction);
    if (received.isEmpty())
        return progress;
    if (received[0] != request[0])
        return settle(ReplyState::WrongAddress);
    if (received.size() < 2)
        return progress;

    const std::uint8_t function = byteAt(request, 1);
    if (byteAt(received, 1) == (function | modbus::kExceptionFlag)) {
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
    if (function == modbus::kReadHoldingRegisters && received.size() > 2
        && byteAt(received, 2) != progress.size - 5)
        return settle(ReplyState::WrongByteCount);
    if (received.size() < progress.size)
        return progress;
    if (received.size() > progress.size)
        return settle(ReplyState::TooLong);
    if (!modbus::crcMatches(received))
        return settle(ReplyState::BadCrc);
    return settle(ReplyState::Complete);
}

} // namespace line
