#include "request_size.h"

#include <array>
#include <cstdint>

namespace line {

namespace {

// A function's request: a fixed size, or a byte count at an offset plus the bytes around it.
struct FunctionSize {
    std::uint8_t function;
    qsizetype fixed; // CRC included; 0 when a byte count tells the size
    qsizetype countAt = 0; // where the byte count stands
};

constexpr std::array<FunctionSize, 17> kSizes { {
    { 0x01, 8 },
    { 0x02, 8 },
    { 0x03, 8 },
    { 0x04, 8 },
    { 0x05, 8 },
    { 0x06, 8 },
    { 0x07, 4 },
    { 0x08, 8 },
    { 0x0B, 4 },
    { 0x0C, 4 },
    { 0x11, 4 },
    { 0x0F, 0, 6 },
    { 0x10, 0, 6 },
    { 0x14, 0, 2 },
    { 0x15, 0, 2 },
    { 0x16, 10 },
    { 0x17, 0, 10 },
} };

} // namespace

RequestSize requestSize(QByteArrayView frame)
{
    if (frame.size() < 2)
        return {};
    const auto function = static_cast<std::uint8_t>(frame[1]);
    for (const FunctionSize& size : kSizes) {
        if (size.function != function)
            continue;
        if (size.fixed != 0)
            return { RequestSize::Known, size.fixed };
        if (frame.size() <= size.countAt)
            return {};
        // The bytes up to the count, the count itself, the data it counts and the CRC.
        return { RequestSize::Known,
            size.countAt + 1 + static_cast<std::uint8_t>(frame[size.countAt]) + 2 };
    }
    return { RequestSize::Unknown, 0 };
}

} // namespace line
