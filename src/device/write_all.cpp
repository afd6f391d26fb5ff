#include "write_all.h"

#include "device/decimal_text.h"
#include "device/requests.h"

namespace device {

namespace {

constexpr std::size_t kVoltageField = 0;
constexpr std::size_t kChannelField = 1;
constexpr std::size_t kFirstFrequencyField = 2;
constexpr std::size_t kFirstDutyField = 7;

// Register 0x0001 + k is element k of the written block.
constexpr std::size_t slot(std::uint16_t address)
{
    return static_cast<std::size_t>(address - kFirstWrittenRegister);
}

// A value beyond a bound becomes the bound, in the field's text as well.
Decimal clamped(QString& text, const Decimal& value, const WriteAllField& field)
{
    std::int32_t bound = 0;
    if (value > field.highest)
        bound = field.highest;
    else if (value < field.lowest)
        bound = field.lowest;
    else
        return value;
    text = QString::number(bound);
    return *parsedDecimal(text);
}

} // namespace

std::optional<WriteAll> normalisedWriteAll(
    const WriteAllTexts& texts, const QString& combo6Text, const ParameterSet& current)
{
    WriteAll result { texts, {}, current };
    std::array<Decimal, kWriteAllFieldCount> values;
    for (std::size_t i = 0; i < kWriteAllFieldCount; ++i) {
        QString& text = result.texts[i];
        if (text.isEmpty())
            text = QString::fromLatin1(kWriteAllFields[i].defaultText);
        const std::optional<Decimal> value = parsedDecimal(text);
        if (!value)
            return std::nullopt;
        values[i] = *value;
    }

    // Clamped values lie within small bounds, so the rounded numbers fit every field below.
    std::array<std::int64_t, kWriteAllFieldCount> rounded {};
    for (std::size_t i = 0; i < kWriteAllFieldCount; ++i) {
        const WriteAllField& field = kWriteAllFields[i];
        const Decimal value = clamped(result.texts[i], values[i], field);
        if (field.form == FieldForm::OneDecimal) {
            rounded[i] = roundedScaled(value, 1);
            result.texts[i] = fixedPoint(rounded[i], 1);
        } else {
            rounded[i] = roundedScaled(value, 0);
        }
    }

    ParameterSet& parameters = result.parameters;
    for (std::size_t channel = 0; channel < kChannelCount; ++channel)
        parameters.frequency[channel]
            = static_cast<std::int32_t>(rounded[kFirstFrequencyField + channel]);
    parameters.channelNumber = static_cast<std::int16_t>(rounded[kChannelField]);
    parameters.baudRateCode = baudRateCode(combo6Text, current.baudRateCode);

    WrittenRegisters& registers = result.registers;
    registers[slot(kVoltageRegister)] = static_cast<std::uint16_t>(rounded[kVoltageField]);
    for (std::size_t channel = 0; channel < kChannelCount; ++channel) {
        // Frequencies span two registers, high word first.
        const auto hertz = static_cast<std::uint32_t>(parameters.frequency[channel]);
        const std::size_t high = slot(kFirstFrequencyRegister) + 2 * channel;
        registers[high] = static_cast<std::uint16_t>(hertz >> 16);
        registers[high + 1] = static_cast<std::uint16_t>(hertz & 0xFFFFU);
        registers[slot(kFirstDutyRegister) + channel]
            = static_cast<std::uint16_t>(rounded[kFirstDutyField + channel]);
        registers[slot(kFirstOutputRegister) + channel]
            = static_cast<std::uint16_t>(parameters.outputState[channel]);
    }
    registers[slot(kChannelNumberRegister)] = static_cast<std::uint16_t>(parameters.channelNumber);
    registers[slot(kKeyLockRegister)] = static_cast<std::uint16_t>(parameters.keyLockState);
    registers[slot(kBaudRateRegister)] = static_cast<std::uint16_t>(parameters.baudRateCode);
    return result;
}

} // namespace device
