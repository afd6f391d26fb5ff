#include "input_rules.h"

#include <array>

namespace {

const InputRule kVoltage { QStringLiteral("0123456789."), 4 };
const InputRule kChannel { QStringLiteral("12345"), 1 };
const InputRule kFrequency { QStringLiteral("0123456789"), 6 };
const InputRule kDuty { QStringLiteral("0123456789"), 5 };

const auto kFields = std::to_array<ParameterField>({
    { "Text3", kVoltage, "5.0" },
    { "Text12", kChannel, "1" },
    { "Text4", kFrequency, "1000" },
    { "Text5", kFrequency, "1000" },
    { "Text10", kFrequency, "1000" },
    { "Text11", kFrequency, "1000" },
    { "Text13", kFrequency, "1000" },
    { "Text6", kDuty, "50.0" },
    { "Text7", kDuty, "50.0" },
    { "Text8", kDuty, "50.0" },
    { "Text9", kDuty, "50.0" },
    { "Text14", kDuty, "50.0" },
});

} // namespace

std::span<const ParameterField> parameterFields()
{
    return kFields;
}
