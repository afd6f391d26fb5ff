#pragma once

#include "device/parameter_set.h"
#include "device/register_map.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace device {

enum class FieldForm {
    OneDecimal, // rewritten with exactly one decimal; sent in tenths
    Whole, // rounded to a whole number for sending; the text stays as typed
};

// One of the twelve parameter fields that write-all reads and rewrites.
struct WriteAllField {
    const char* name; // objectName
    const char* defaultText; // replaces an exactly empty text
    std::int32_t lowest; // a value beyond a bound is replaced by the bound, one equal to it stays
    std::int32_t highest;
    FieldForm form;
};

inline constexpr std::size_t kWriteAllFieldCount = 12;

// Voltage, channel number, the five frequencies, the five duties.
inline constexpr std::array<WriteAllField, kWriteAllFieldCount> kWriteAllFields { {
    { "Text3", "5", 1, 24, FieldForm::OneDecimal },
    { "Text12", "1", 1, 5, FieldForm::Whole },
    { "Text4", "2", 1, 150000, FieldForm::Whole },
    { "Text5", "10", 1, 150000, FieldForm::Whole },
    { "Text10", "2000", 1, 150000, FieldForm::Whole },
    { "Text11", "10000", 1, 150000, FieldForm::Whole },
    { "Text13", "150000", 1, 150000, FieldForm::Whole },
    { "Text6", "50", 0, 100, FieldForm::OneDecimal },
    { "Text7", "50", 0, 100, FieldForm::OneDecimal },
    { "Text8", "50", 0, 100, FieldForm::OneDecimal },
    { "Text9", "50", 0, 100, FieldForm::OneDecimal },
    { "Text14", "50", 0, 100, FieldForm::OneDecimal },
} };

// Texts in the order of kWriteAllFields.
using WriteAllTexts = std::array<QString, kWriteAllFieldCount>;

struct WriteAll {
    WriteAllTexts texts; // what the twelve fields show afterwards
    WrittenRegisters registers; // 0x0001 to 0x0018
    // Frequencies, channelNumber and baudRateCode from the fields and Combo6; the on/off states
    // are sent as they were.
    ParameterSet parameters;
};

// Fills empty fields with defaults, clamps each value to its range, rewrites the voltage and
// the duties with one decimal and rounds half away from zero on the decimal value as typed.
// Refused, with nothing to change anywhere, when a field (after the defaults) is not a decimal
// number. A Combo6 text that is no baud rate keeps the current code.
std::optional<WriteAll> normalisedWriteAll(
    const WriteAllTexts& texts, const QString& combo6Text, const ParameterSet& current);

} // namespace device
