#include "crc16.h"

namespace modbus {

std::uint16_t crc16(const QByteArray& bytes)
{
    std::uint16_t crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1U) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001U)
                             : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

QByteArray framed(const QByteArray& request)
{
    const std::uint16_t crc = crc16(request);
    QByteArray frame = request;
    frame.append(static_cast<char>(crc & 0xFFU));
    frame.append(static_cast<char>(crc >> 8));
    return frame;
}

bool crcMatches(const QByteArray& frame)
{
    if (frame.size() < 3)
        return false;
    const QByteArray body = frame.first(frame.size() - 2);
    return framed(body).endsWith(frame.last(2));
}

} // namespace modbus
