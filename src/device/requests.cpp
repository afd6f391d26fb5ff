#include "requests.h"

namespace device {

namespace {

// 16-bit values travel high byte first.
void appendWord(QByteArray& bytes, std::uint16_t value)
{
    bytes.append(static_cast<char>(value >> 8));
    bytes.append(static_cast<char>(value & 0xFFU));
}

QByteArray writeSingleRegister(std::uint8_t slave, std::uint16_t address, std::uint16_t value)
{
    QByteArray bytes;
    bytes.append(static_cast<char>(slave));
    bytes.append(static_cast<char>(kWriteSingleRegister));
    appendWord(bytes, address);
    appendWord(bytes, value);
    return bytes;
}

} // namespace

QByteArray readAllRequest(std::uint8_t slave)
{
    QByteArray bytes;
    bytes.append(static_cast<char>(slave));
    bytes.append(static_cast<char>(kReadHoldingRegisters));
    appendWord(bytes, 0x0000);
    appendWord(bytes, static_cast<std::uint16_t>(kRegisterCount));
    return bytes;
}

QByteArray writeAllRequest(std::uint8_t slave, const WrittenRegisters& registers)
{
    QByteArray bytes;
    bytes.append(static_cast<char>(slave));
    bytes.append(static_cast<char>(kWriteMultipleRegisters));
    appendWord(bytes, kFirstWrittenRegister);
    appendWord(bytes, static_cast<std::uint16_t>(registers.size()));
    bytes.append(static_cast<char>(registers.size() * 2));
    for (const std::uint16_t value : registers)
        appendWord(bytes, value);
    return bytes;
}

QByteArray toggleRequest(std::uint8_t slave, std::uint16_t address, std::uint16_t state)
{
    return writeSingleRegister(slave, address, state);
}

QByteArray baudChangeRequest(std::uint8_t slave, std::int16_t baudRateCode)
{
    return writeSingleRegister(slave, kBaudRateRegister, static_cast<std::uint16_t>(baudRateCode));
}

QByteArray addressChangeRequest(std::uint8_t newAddress)
{
    return writeSingleRegister(kBroadcastAddress, kSlaveAddressRegister, newAddress);
}

std::optional<std::uint8_t> slaveAddress(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    unsigned value = 0;
    for (const QChar c : text) {
        // QChar::isDigit would also take other scripts' digits.
        if (c.unicode() < u'0' || c.unicode() > u'9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c.unicode() - u'0');
        if (value > 255)
            return std::nullopt;
    }
    return static_cast<std::uint8_t>(value);
}

std::int16_t baudRateCode(const QString& combo6Text, std::int16_t previous)
{
    for (std::size_t code = 0; code < kBaudRates.size(); ++code)
        if (combo6Text == QString::number(kBaudRates[code]))
            return static_cast<std::int16_t>(code);
    return previous;
}

} // namespace device
