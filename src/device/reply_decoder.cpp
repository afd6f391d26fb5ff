#include "reply_decoder.h"

#include <QtGlobal>

#include <array>

namespace device {

namespace {

std::size_t carriedRegisters(std::span<const std::uint8_t> registerBytes)
{
    if (registerBytes.size() % 2 != 0 || registerBytes.size() / 2 > kRegisterCount)
        return 0;
    return registerBytes.size() / 2;
}

// Registers travel high byte first.
std::uint16_t wordAt(std::span<const std::uint8_t> registerBytes, std::size_t i)
{
    return static_cast<std::uint16_t>(registerBytes[2 * i] << 8 | registerBytes[2 * i + 1]);
}

} // namespace

Reading decodedRegisters(std::span<const std::uint8_t> registerBytes, const ParameterSet& current)
{
    Reading reading { carriedRegisters(registerBytes), {}, current };
    std::array<std::uint16_t, kRegisterCount> words {};
    for (std::size_t i = 0; i < reading.carried; ++i)
        words[i] = wordAt(registerBytes, i);
    for (const Parameter& p : kParameters)
        if (reading.carries(p.id))
            reading.values[indexOf(p.id)] = unitsOf(p, std::span(words).subspan(p.address));

    ParameterSet& set = reading.parameters;
    const auto units = [&reading](ParameterId id) { return reading.values[indexOf(id)]; };
    for (std::size_t channel = 0; channel < kChannelCount; ++channel) {
        if (reading.carries(frequencyOf(channel)))
            set.frequency[channel] = static_cast<std::int32_t>(units(frequencyOf(channel)));
    }
    for (const ParameterId id : kSwitches)
        if (reading.carries(id))
            stateOf(set, id) = static_cast<std::int16_t>(units(id));
    return reading;
}

std::uint16_t firstRegister(std::span<const std::uint8_t> registerBytes)
{
    Q_ASSERT(registerBytes.size() >= 2);
    return wordAt(registerBytes, 0);
}

} // namespace device
