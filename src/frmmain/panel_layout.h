#pragma once

#include <QRgb>
#include <QStringList>

#include <span>

namespace panel {

enum class Kind { Frame, Label, Combo, Button, Field, Trace, Lamp, Indicator, Picture, Line };

enum class Font { Default, Label, FrameCaption, ChannelLabel, Button, Field, Status };

// One control of the fixed layout. Positions are in twips (1/1440 inch, 15 to a pixel at
// 96 dpi), relative to the parent frame or to the window. A label with a height is sized to
// its text and centred vertically in that band; without one it sits at its top.
struct Control {
    const char* name;
    Kind kind;
    const char* parent; // frame name, or nullptr for the window
    int left, top, width, height;
    const char* caption;
    Font font;
    QRgb colour; // text of a field, stroke of a line; 0 for the style's own
};

// Design-time lists of the combo boxes that have them.
struct ComboList {
    const char* name;
    const char* items; // separated by '|'; nullptr for the module's baud rates
};

std::span<const Control> controls();
std::span<const ComboList> comboLists();
QStringList comboItems(const ComboList& list);

constexpr int kWindowWidth = 954;
constexpr int kWindowHeight = 488;

constexpr int pixels(int twips)
{
    return (twips + 7) / 15;
}

} // namespace panel
