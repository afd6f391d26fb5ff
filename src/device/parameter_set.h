#pragma once

#include "device/parameters.h"

#include <array>
#include <cstdint>

namespace device {

// The module values the window keeps between operations. Element k of an array holds the value
// named for channel k + 1: frequency[0] is ch1Frequency, outputState[4] is ch5OutputState.
struct ParameterSet {
    std::array<std::int32_t, kChannelCount> frequency {}; // ch1Frequency..ch5Frequency, hertz
    std::array<std::int16_t, kChannelCount> outputState {}; // ch1OutputState..: 1 = on
    std::int16_t keyLockState = 0; // 1 = locked, every other value unlocked
    std::int16_t channelNumber = 1;
    std::int16_t baudRateCode = 0; // index into kBaudRates

    friend bool operator==(const ParameterSet&, const ParameterSet&) = default;
};

// The state kept for a switch: a channel's output or the key lock.
constexpr std::int16_t& stateOf(ParameterSet& set, ParameterId which)
{
    if (which == ParameterId::KeyLock)
        return set.keyLockState;
    return set.outputState[indexOf(which) - indexOf(ParameterId::Ch1Output)];
}

constexpr std::int16_t stateOf(const ParameterSet& set, ParameterId which)
{
    return which == ParameterId::KeyLock
        ? set.keyLockState
        : set.outputState[indexOf(which) - indexOf(ParameterId::Ch1Output)];
}

// Only exactly 1 is on, so a module value such as 2 flips to 1.
constexpr std::int16_t flipped(std::int16_t state)
{
    return state == 1 ? 0 : 1;
}

} // namespace device
