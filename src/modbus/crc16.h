#pragma once

#include <QByteArray>

#include <cstdint>

namespace modbus {

// CRC-16/MODBUS: reflected polynomial 0xA001, initial value 0xFFFF, no final XOR.
std::uint16_t crc16(const QByteArray& bytes);

// The request bytes followed by their CRC. The CRC travels low byte first.
QByteArray framed(const QByteArray& request);

// True when the last two bytes are the CRC of the bytes before them.
bool crcMatches(const QByteArray& frame);

} // namespace modbus
