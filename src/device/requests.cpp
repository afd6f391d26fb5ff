#include "requests.h"

#include "device/parameter_value.h"

namespace device {

namespace {

// 16-bit values travel high byte first.
void appendWord(QByteArray& bytes, std::uint16_t value)
{
    bytes.append(static_cast<char>(value >> 8));
    bytes.append(static_cast<char>(value & 0xFFU));
}

QByteArray header(std::uint8_t slave, std::uint8_t function, std::uint16_t address)
{
    QByteArray bytes;
    bytes.append(static_cast<char>(slave));
    bytes.append(static_cast<char>(function));
    appendWord(bytes, address);
    return bytes;
}

} // namespace

QByteArray readRequest(std::uint8_t slave, std::uint16_t first, std::uint16_t count)
{
    QByteArray bytes = header(slave, kReadHoldingRegisters, first);
    appendWord(bytes, count);
    return bytes;
}

QByteArray readAllRequest(std::uint8_t slave)
{
    return readRequest(slave, 0x0000, static_cast<std::uint16_t>(kRegisterCount));
}

QByteArray writeRegistersRequest(
    std::uint8_t slave, std::uint16_t first, std::span<const std::uint16_t> registers)
{
    QByteArray bytes = header(slave, kWriteMultipleRegisters, first);
    appendWord(bytes, static_cast<std::uint16_t>(registers.size()));
    bytes.append(static_cast<char>(registers.size() * 2));
    for (const std::uint16_t value : registers)
        appendWord(bytes, value);
    return bytes;
}

QByteArray writeAllRequest(std::uint8_t slave, const WrittenRegisters& registers)
{
    return writeRegistersRequest(slave, kFirstWrittenRegister, registers);
}

QByteArray writeRequest(std::uint8_t slave, const Parameter& p, Units units)
{
    const auto words = wordsOf(p, units);
    if (p.registerCount > 1)
        return writeRegistersRequest(slave, p.address, std::span(words).first(p.registerCount));
    QByteArray bytes = header(slave, kWriteSingleRegister, p.address);
    appendWord(bytes, words[0]);
    return bytes;
}

QByteArray addressChangeRequest(std::uint8_t newAddress)
{
    QByteArray bytes = header(kBroadcastAddress, kWriteSingleRegister, kSlaveAddressRegister);
    appendWord(bytes, newAddress);
    return bytes;
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
        if (value > kMaxSentAddress)
            return std::nullopt;
    }
    return static_cast<std::uint8_t>(value);
}

std::int16_t baudRateCode(const QString& combo6Text, std::int16_t previous)
{
    const TypedValue code
        = typedValue(parameter(ParameterId::BaudRate), combo6Text, Bounds::Strict);
    return code ? static_cast<std::int16_t>(code.units) : previous;
}

} // namespace device
