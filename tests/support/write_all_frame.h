#pragma once

#include "support/test_crc.h"

#include <QByteArray>
#include <QList>

// The write-all request as the module receives it, built by the tests themselves: slave 1,
// function 0x10, registers 0x0001 to 0x0018, two bytes each, high byte first.
namespace writeall {

// 16-bit values, high byte first.
inline QByteArray words(const QList<int>& values)
{
    QByteArray out;
    for (const int v : values) {
        out.append(static_cast<char>((v >> 8) & 0xFF));
        out.append(static_cast<char>(v & 0xFF));
    }
    return out;
}

// Registers 0x0001 to 0x0018 in order: voltage in tenths of a volt, the frequencies of CH1
// to CH5 (high word, low word), their duties in tenths of a percent, their outputs, the
// channel number, the key lock, the baud-rate code.
inline QByteArray frame(const QList<int>& registers)
{
    return testcrc::withCrc(QByteArray::fromHex("01 10 00 01 00 18 30") + words(registers));
}

// The registers as write-all sends the fields shown at start-up, Combo6 at 9600: 5.0 V,
// 1000 Hz and 50.0 % on every channel, outputs off, channel 1, keys unlocked, baud code 1.
inline const QList<int> kStartUpRegisters { 50, 0, 1000, 0, 1000, 0, 1000, 0, 1000, 0, 1000, 500,
    500, 500, 500, 500, 0, 0, 0, 0, 0, 1, 0, 1 };

} // namespace writeall
