#include "write_all.h"

#include "device/parameter_value.h"
#include "device/requests.h"
#include "text/quoted_text.h"

namespace device {

std::optional<WriteAll> normalisedWriteAll(
    const FieldTexts& texts, const QString& combo6Text, const ParameterSet& current)
{
    WriteAll result { texts, {}, current };
    ParameterValues values {};
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        const Parameter& p = parameter(kFields[i]);
        QString& text = result.texts[i];
        if (text.isEmpty())
            text = quoting::latin1(p.writeAllDefault);
        const TypedValue value = typedValue(p, text, Bounds::Clamp);
        if (!value)
            return std::nullopt;
        values[indexOf(p.id)] = value.units;
        if (value.clamped || p.scale != Scale::Whole)
            text = valueText(p, value.units);
    }

    // Clamped values lie within small bounds, so they fit every field below.
    ParameterSet& set = result.parameters;
    for (std::size_t channel = 0; channel < kChannelCount; ++channel)
        set.frequency[channel] = static_cast<std::int32_t>(values[indexOf(frequencyOf(channel))]);
    set.channelNumber = static_cast<std::int16_t>(values[indexOf(ParameterId::Channel)]);
    set.baudRateCode = baudRateCode(combo6Text, current.baudRateCode);

    // The switches go out with the states kept for them, as 16-bit patterns.
    for (const ParameterId id : kSwitches)
        values[indexOf(id)] = static_cast<std::uint16_t>(stateOf(set, id));
    values[indexOf(ParameterId::BaudRate)] = static_cast<std::uint16_t>(set.baudRateCode);
    result.registers = writtenRegisters(values);
    return result;
}

} // namespace device
