#include "request_fields.h"

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

std::size_t requestLength(std::span<const std::uint8_t> head)
{
    constexpr std::size_t kHeader = 2; // address and function code
    if (head.size() < kHeader)
        return kHeader;
    std::size_t fixed = 0; // after the function code
    std::size_t countAt = 0; // where a byte count for the data lies; 0 for none
    switch (head[1]) {
    case MODBUS_FC_WRITE_MULTIPLE_COILS:
    case MODBUS_FC_WRITE_MULTIPLE_REGISTERS:
        fixed = 5;
        countAt = 6;
        break;
    case MODBUS_FC_MASK_WRITE_REGISTER:
        fixed = 6;
        break;
    case MODBUS_FC_WRITE_AND_READ_REGISTERS:
        fixed = 9;
        countAt = 10;
        break;
    default:
        // 0x01 to 0x06 carry two words; 0x07, 0x11 and the unknown ones nothing.
        fixed = head[1] <= MODBUS_FC_WRITE_SINGLE_REGISTER ? 4 : 0;
    }
    if (head.size() < kHeader + fixed)
        return kHeader + fixed;
    return kHeader + fixed + (countAt > 0 ? head[countAt] : 0) + kCrcLength;
}

} // namespace sim
