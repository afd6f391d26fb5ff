#pragma once

#include <QString>
#include <QStringView>

#include <compare>
#include <cstdint>
#include <optional>

// Decimal numbers as the operator types them, handled digit by digit: binary floating point
// would turn 1.15 into 1.149999... and round it the wrong way.
namespace device {

struct Decimal {
    bool negative = false; // never set for zero
    QString whole; // digits before the point, without leading zeros; empty for 0
    QString fraction; // digits after the point, without trailing zeros
};

// An optional sign, then digits with at most one point and at least one digit ("5.", ".5").
// No blanks, no exponent, no digits of other scripts.
std::optional<Decimal> parsedDecimal(QStringView text);

// The value against scaled / 10^decimals, exactly for any number of digits: (24.04, 240, 1) is
// greater.
std::strong_ordering compareScaled(const Decimal& value, std::int64_t scaled, int decimals);

// The value times 10^decimals (0 to 3), rounded half away from zero. The whole part saturates
// at 15 digits; callers clamp first.
std::int64_t roundedScaled(const Decimal& value, int decimals);

// scaled / 10^decimals written with exactly that many decimals and a point: (5, 2) -> "0.05".
QString fixedPoint(std::int64_t scaled, int decimals);

} // namespace device
