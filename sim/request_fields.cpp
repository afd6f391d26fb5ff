#include "request_fields.h"

#include <algorithm>

#include <modbus.h>

namespace sim {

namespace {

std::uint16_t wordAt(std::span<const std::uint8_t> bytes, std::size_t i)
{
    return static_cast<std::uint16_t>(bytes[i] << 8 | bytes[i + 1]);
}

// Address, function, two words and the CRC; 0x10 adds a byte count and its data.
constexpr std::size_t kFixedLength = 8;
constexpr std::size_t kMultipleHeader = 7;
constexpr std::size_t kCrcLength = 2;

} // namespace

std::optional<WriteRequest> writeOf(std::span<const std::uint8_t> request)
{
    if (request.size() < kFixedLength)
        return std::nullopt;
    WriteRequest write;
    write.start = wordAt(request, 2);
    switch (request[1]) {
    case MODBUS_FC_WRITE_SINGLE_REGISTER:
        write.values.push_back(wordAt(request, 4));
        return write;
    case MODBUS_FC_WRITE_MULTIPLE_REGISTERS: {
        const std::size_t count = wordAt(request, 4);
        const std::size_t byteCount = request[6];
        if (count == 0 || byteCount != 2 * count
            || request.size() != kMultipleHeader + byteCount + kCrcLength)
            return std::nullopt;
        for (std::size_t i = 0; i < count; ++i)
            write.values.push_back(wordAt(request, kMultipleHeader + 2 * i));
        return write;
    }
    default:
        return std::nullopt;
    }
}

std::size_t frameLength(std::span<const std::uint8_t> buffer)
{
    std::size_t length = 2;
    if (buffer.size() >= 2 && buffer[1] >= MODBUS_FC_READ_COILS
        && buffer[1] <= MODBUS_FC_WRITE_SINGLE_REGISTER)
        length = kFixedLength;
    else if (buffer.size() > 6
        && (buffer[1] == MODBUS_FC_WRITE_MULTIPLE_COILS
            || buffer[1] == MODBUS_FC_WRITE_MULTIPLE_REGISTERS))
        length = kMultipleHeader + buffer[6] + kCrcLength;
    return std::min(length, buffer.size());
}

} // namespace sim
