#pragma once

#include <QByteArray>

#include <array>
#include <cstdint>

// The tests' own CRC-16/MODBUS (reflected polynomial 0xA001, start 0xFFFF, no final XOR), for
// the frames they build and check. Written apart from the tool's routine so that a fault there
// cannot hide in the expected frames too. Header only: the fuzz targets and the simulator's
// tests use it without the widget-based test support library.
namespace testcrc {

inline constexpr std::array<std::uint16_t, 256> kTable = [] {
    std::array<std::uint16_t, 256> table {};
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned crc = byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ ((crc & 1U) * 0xA001U);
        table[byte] = static_cast<std::uint16_t>(crc);
    }
    return table;
}();

inline std::uint16_t crc16(const char* bytes, qsizetype size)
{
    unsigned crc = 0xFFFF;
    for (qsizetype i = 0; i < size; ++i)
        crc = (crc >> 8) ^ kTable[(crc ^ static_cast<std::uint8_t>(bytes[i])) & 0xFFU];
    return static_cast<std::uint16_t>(crc);
}

// The check value of the Modbus standard: the CRC of the digits 1 to 9 is 0x4B37.
inline bool passesCheckValue()
{
    return crc16("123456789", 9) == 0x4B37;
}

// The two CRC bytes of the given bytes, low byte first, as they travel.
inline QByteArray crcBytes(const QByteArray& bytes)
{
    const std::uint16_t crc = crc16(bytes.constData(), bytes.size());
    QByteArray tail;
    tail.append(static_cast<char>(crc & 0xFFU));
    tail.append(static_cast<char>(crc >> 8));
    return tail;
}

inline QByteArray withCrc(const QByteArray& frame)
{
    return frame + crcBytes(frame);
}

// The last two bytes are the CRC of the rest, low byte first.
inline bool endsWithCrc(const QByteArray& frame)
{
    return frame.size() >= 3 && frame.endsWith(crcBytes(frame.first(frame.size() - 2)));
}

} // namespace testcrc
