#include "reply_decoder.h"

#include "device/requests.h"

#include <array>

namespace device {

namespace {

// Address, function code and byte count before the data; two CRC bytes after it.
constexpr qsizetype kHeaderSize = 3;
constexpr qsizetype kCrcSize = 2;

std::size_t carriedRegisters(const QByteArray& reply)
{
    if (reply.size() < kHeaderSize + kCrcSize
        || static_cast<std::uint8_t>(reply[1]) != kReadHoldingRegisters)
        return 0;
    const qsizetype byteCount = static_cast<std::uint8_t>(reply[2]);
    if (byteCount != reply.size() - kHeaderSize - kCrcSize || byteCount % 2 != 0
        || byteCount / 2 > static_cast<qsizetype>(kRegisterCount))
        return 0;
    return static_cast<std::size_t>(byteCount / 2);
}

// Registers travel high byte first.
std::uint16_t wordAt(const QByteArray& reply, qsizetype at)
{
    return static_cast<std::uint16_t>(
        static_cast<std::uint8_t>(reply[at]) << 8 | static_cast<std::uint8_t>(reply[at + 1]));
}

} // namespace

Reading decodedReply(const QByteArray& reply, const ParameterSet& current)
{
    Reading reading { carriedRegisters(reply), {}, current };
    std::array<std::uint16_t, kRegisterCount> words {};
    for (std::size_t i = 0; i < reading.carried; ++i)
        words[i] = wordAt(reply, kHeaderSize + 2 * static_cast<qsizetype>(i));
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

std::uint16_t firstRegister(const QByteArray& reply)
{
    return wordAt(reply, kHeaderSize);
}

} // namespace device
