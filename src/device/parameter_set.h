#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace device {

inline constexpr std::size_t kChannelCount = 5;

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

// The six on/off values, each switched by one toggle button.
enum class OnOffState { Ch1Output, Ch2Output, Ch3Output, Ch4Output, Ch5Output, KeyLock };

inline std::int16_t& stateOf(ParameterSet& set, OnOffState which)
{
    return which == OnOffState::KeyLock ? set.keyLockState
                                        : set.outputState[static_cast<std::size_t>(which)];
}

inline std::int16_t stateOf(const ParameterSet& set, OnOffState which)
{
    return which == OnOffState::KeyLock ? set.keyLockState
                                        : set.outputState[static_cast<std::size_t>(which)];
}

} // namespace device
