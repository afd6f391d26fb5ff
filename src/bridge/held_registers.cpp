#include "held_registers.h"

namespace bridge {

QByteArray registerData(std::span<const std::uint8_t> registers)
{
    return QByteArray(
        reinterpret_cast<const char*>(registers.data()), static_cast<qsizetype>(registers.size()));
}

void HeldRegisters::read(int address, std::uint16_t first, const QByteArray& data, Instant now)
{
    modules_[address] = { first, data, now };
}

void HeldRegisters::written(int address)
{
    modules_.erase(address);
}

std::optional<QByteArray> HeldRegisters::answer(int address, std::uint16_t first,
    std::uint16_t count, Instant now, std::chrono::milliseconds maxAge) const
{
    const auto found = modules_.find(address);
    if (found == modules_.end())
        return std::nullopt;
    const Held& held = found->second;
    const qsizetype heldCount = held.data.size() / 2;
    if (now - held.when > maxAge || first < held.first || first + count > held.first + heldCount)
        return std::nullopt;
    return held.data.mid(2 * (first - held.first), 2 * count);
}

} // namespace bridge
