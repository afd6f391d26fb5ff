#include "toggles.h"

#include <algorithm>

namespace device {

std::int16_t flipped(std::int16_t state)
{
    return state == 1 ? 0 : 1;
}

ToggleLook toggleLook(const Toggle& toggle, std::int16_t state)
{
    if (state == 1)
        return { QString::fromLatin1(toggle.onCaption), toggle.onColour };
    return { QString::fromLatin1(toggle.offCaption), kOffColour };
}

std::optional<Toggle> toggleAt(std::uint16_t address)
{
    const auto found = std::find_if(kToggles.begin(), kToggles.end(),
        [address](const Toggle& toggle) { return toggle.address == address; });
    if (found == kToggles.end())
        return std::nullopt;
    return *found;
}

} // namespace device
