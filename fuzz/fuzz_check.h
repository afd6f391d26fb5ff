#pragma once

#include <QByteArray>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// What the fuzz targets share: the way a broken property stops the run, and a CRC of their own
// to check frames against, so a fault in the tool's CRC routine cannot hide itself.
namespace fuzzcheck {

// libFuzzer keeps the input that made the process abort as its crash artifact.
inline void require(bool holds, const char* property)
{
    if (holds)
        return;
    std::fprintf(stderr, "property broken: %s\n", property);
    std::abort();
}

// CRC-16/MODBUS from a byte table (reflected polynomial 0xA001, start 0xFFFF, no final XOR).
inline constexpr std::array<std::uint16_t, 256> kCrcTable = [] {
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
        crc = (crc >> 8) ^ kCrcTable[(crc ^ static_cast<std::uint8_t>(bytes[i])) & 0xFFU];
    return static_cast<std::uint16_t>(crc);
}

// The CRC check value of the Modbus standard, so the table above is known to be right.
inline bool crcPassesCheckValue()
{
    return crc16("123456789", 9) == 0x4B37;
}

// The last two bytes are the CRC of the rest, low byte first.
inline bool endsWithCrc(const QByteArray& frame)
{
    if (frame.size() < 3)
        return false;
    const std::uint16_t crc = crc16(frame.constData(), frame.size() - 2);
    return static_cast<std::uint8_t>(frame[frame.size() - 2]) == (crc & 0xFFU)
        && static_cast<std::uint8_t>(frame[frame.size() - 1]) == (crc >> 8);
}

// Two CRC bytes, low byte first, of the given bytes.
inline QByteArray crcBytes(const QByteArray& bytes)
{
    const std::uint16_t crc = crc16(bytes.constData(), bytes.size());
    QByteArray tail;
    tail.append(static_cast<char>(crc & 0xFFU));
    tail.append(static_cast<char>(crc >> 8));
    return tail;
}

} // namespace fuzzcheck
