#pragma once

#include "device/parameter_set.h"
#include "device/register_map.h"

#include <QString>

#include <array>
#include <optional>

namespace device {

// The texts of the twelve parameter fields, in the order of kFields.
using FieldTexts = std::array<QString, kFieldCount>;

struct WriteAll {
    FieldTexts texts; // what the twelve fields show afterwards
    WrittenRegisters registers; // 0x0001 to 0x0018
    // Frequencies, channelNumber and baudRateCode from the fields and Combo6; the on/off states
    // are sent as they were.
    ParameterSet parameters;
};

// Fills empty fields with their defaults, clamps each value to its range, rewrites the values
// kept in tenths with one decimal (a whole-number field keeps its text unless clamped) and
// rounds half away from zero on the decimal value as typed. Refused, with nothing to change
// anywhere, when a field (after the defaults) is not a decimal number. A Combo6 text that is no
// baud rate keeps the current code.
std::optional<WriteAll> normalisedWriteAll(
    const FieldTexts& texts, const QString& combo6Text, const ParameterSet& current);

} // namespace device
