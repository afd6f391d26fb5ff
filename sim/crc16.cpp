#include "crc16.h"

namespace sim {

std::uint16_t crcStep(std::uint16_t crc, std::uint8_t byte)
{
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit)
        crc = static_cast<std::uint16_t>((crc >> 1) ^ ((crc & 1U) ? 0xA001U : 0U));
    return crc;
}

bool endsWithItsCrc(std::span<const std::uint8_t> frame)
{
    if (frame.size() < 3)
        return false;
    std::uint16_t crc = kCrcStart;
    for (std::uint8_t byte : frame.first(frame.size() - 2))
        crc = crcStep(crc, byte);
    return frame[frame.size() - 2] == (crc & 0xFF) && frame.back() == (crc >> 8);
}

} // namespace sim
