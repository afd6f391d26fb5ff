#pragma once

#include "device/parameter_set.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace device {

enum class IndicatorColour { White, Green, Red };

// 0xRRGGBB: pure green and pure red for on, white for off.
constexpr std::uint32_t rgb(IndicatorColour colour)
{
    switch (colour) {
    case IndicatorColour::Green:
        return 0x00FF00;
    case IndicatorColour::Red:
        return 0xFF0000;
    case IndicatorColour::White:
        break;
    }
    return 0xFFFFFF;
}

// One button that switches an on/off value and sends it at once with Write Single Register.
// Its indicator is a caption-less box behind the button whose colour shows the state.
struct Toggle {
    const char* button;
    OnOffState state;
    std::uint16_t address;
    const char* indicator;
    const char* onCaption;
    const char* offCaption;
    IndicatorColour onColour;
};

inline constexpr IndicatorColour kOffColour = IndicatorColour::White;

inline constexpr std::array<Toggle, 6> kToggles { {
    { "Command4", OnOffState::Ch1Output, 0x0011, "Label15(1)", "ON", "OFF",
        IndicatorColour::Green },
    { "Command6", OnOffState::Ch2Output, 0x0012, "Label15(2)", "ON", "OFF",
        IndicatorColour::Green },
    { "Command7", OnOffState::Ch3Output, 0x0013, "Label15(3)", "ON", "OFF",
        IndicatorColour::Green },
    { "Command8", OnOffState::Ch4Output, 0x0014, "Label15(4)", "ON", "OFF",
        IndicatorColour::Green },
    { "Command9", OnOffState::Ch5Output, 0x0015, "Label15(5)", "ON", "OFF",
        IndicatorColour::Green },
    { "Command5", OnOffState::KeyLock, 0x0017, "Label15(0)", "Lock", "UnLock",
        IndicatorColour::Red },
} };

// Only exactly 1 is on, so a module value such as 2 flips to 1.
std::int16_t flipped(std::int16_t state);

struct ToggleLook {
    QString caption;
    IndicatorColour colour;
};

ToggleLook toggleLook(const Toggle& toggle, std::int16_t state);

// The toggle that owns a register, if any.
std::optional<Toggle> toggleAt(std::uint16_t address);

} // namespace device
