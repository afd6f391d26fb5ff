#pragma once

#include "device/register_map.h"

#include <QString>
#include <QStringView>

#include <optional>
#include <string_view>

// Parameter values as people write them, and back: the rules of the window's fields, open to
// any front end.
namespace device {

// "5.0", "150000", "12.34": the decimals of the parameter's scale, a point, no unit.
QString valueText(const Parameter& p, Units units);

// What may be set, as a person reads it: "1.0 to 24.0 V", "on or off", "4800, ..., 115200".
QString rangeText(const Parameter& p);

enum class Bounds {
    Clamp, // the window's rules: a value beyond a bound becomes the bound, as write-all does
    Strict, // a value beyond a bound, or a fraction of a whole-number parameter, is refused
};

enum class ValueError {
    None,
    NotSettable, // the module only measures it
    Unreadable, // not a decimal number, or not on/off for a switch
    OutOfRange,
    NotWhole, // a fraction ("2.5") for a parameter of whole units
};

struct TypedValue {
    Units units = 0;
    ValueError error = ValueError::None;
    bool clamped = false; // the typed value lay beyond a bound

    explicit operator bool() const { return error == ValueError::None; }
};

// A value from text as the window takes a field's text: a decimal number (an optional sign,
// digits with at most one point) compared with the range exactly as typed, then rounded half
// away from zero to the parameter's scale: "25.55" for a duty is 256 tenths. Strict bounds
// refuse a fraction for a parameter of whole units (channel "2.5"), while "2.0" is whole; the
// window rounds it. A switch takes on, off, true, false, 1 or 0; the baud rate takes one of the
// module's rates.
TypedValue typedValue(const Parameter& p, QStringView text, Bounds bounds);

// One line that names the parameter, the text and, for a value beyond a bound, the range.
QString valueErrorText(const Parameter& p, QStringView text, ValueError error);

} // namespace device
