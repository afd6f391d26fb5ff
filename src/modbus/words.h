#pragma once

#include <QByteArrayView>

#include <cstdint>

namespace modbus {

// The 16-bit value at index of a frame or PDU: Modbus sends every word high byte first.
inline std::uint16_t wordAt(QByteArrayView bytes, qsizetype index)
{
    return static_cast<std::uint16_t>((static_cast<std::uint8_t>(bytes[index]) << 8)
        | static_cast<std::uint8_t>(bytes[index + 1]));
}

} // namespace modbus
