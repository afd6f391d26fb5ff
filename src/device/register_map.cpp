#include "register_map.h"

namespace device {

static_assert(
    kFirstWrittenRegister + kWrittenRegisterCount == parameter(ParameterId::BaudRate).address + 1U,
    "write-all ends with the baud-rate code");

Units unitsOf(const Parameter& p, std::span<const std::uint16_t> words)
{
    Units units = 0;
    for (std::size_t i = 0; i < p.registerCount; ++i)
        units = units << 16 | words[i];
    return units;
}

std::array<std::uint16_t, 2> wordsOf(const Parameter& p, Units units)
{
    if (p.registerCount == 1)
        return { static_cast<std::uint16_t>(units), 0 };
    return { static_cast<std::uint16_t>(units >> 16), static_cast<std::uint16_t>(units & 0xFFFFU) };
}

WrittenRegisters writtenRegisters(const ParameterValues& values)
{
    WrittenRegisters registers {};
    for (const Parameter& p : kParameters) {
        if (p.address < kFirstWrittenRegister)
            continue;
        const auto words = wordsOf(p, values[indexOf(p.id)]);
        for (std::size_t i = 0; i < p.registerCount; ++i)
            registers[static_cast<std::size_t>(p.address - kFirstWrittenRegister) + i] = words[i];
    }
    return registers;
}

} // namespace device
