#pragma once

#include <cstdint>
#include <span>

namespace sim {

// CRC-16/MODBUS: reflected polynomial 0xA001, start 0xFFFF, sent low byte first.
inline constexpr std::uint16_t kCrcStart = 0xFFFF;
std::uint16_t crcStep(std::uint16_t crc, std::uint8_t byte);

// True when the last two bytes are the CRC of the ones before.
bool endsWithItsCrc(std::span<const std::uint8_t> frame);

} // namespace sim
