#include "parameter_value.h"

#include "device/decimal_text.h"
#include "text/quoted_text.h"

#include <QStringList>

namespace device {

namespace {

std::optional<Units> switchValue(QStringView text)
{
    for (const char* on : { "on", "true", "1" })
        if (text == QLatin1String(on))
            return 1;
    for (const char* off : { "off", "false", "0" })
        if (text == QLatin1String(off))
            return 0;
    return std::nullopt;
}

TypedValue baudCode(QStringView text)
{
    for (std::size_t code = 0; code < kBaudRates.size(); ++code)
        if (text == QString::number(kBaudRates[code]))
            return { static_cast<Units>(code) };
    return { 0, parsedDecimal(text) ? ValueError::OutOfRange : ValueError::Unreadable };
}

TypedValue number(const Parameter& p, QStringView text, Bounds bounds)
{
    const std::optional<Decimal> value = parsedDecimal(text);
    if (!value)
        return { 0, ValueError::Unreadable };
    const int places = decimals(p.scale);
    // Compared as typed: 24.04 V lies beyond 24.0 V although it rounds to it.
    const bool above = compareScaled(*value, p.highest, places) > 0;
    const bool below = compareScaled(*value, p.lowest, places) < 0;
    if (above || below) {
        if (bounds == Bounds::Strict)
            return { 0, ValueError::OutOfRange, true };
        return { static_cast<Units>(above ? p.highest : p.lowest), ValueError::None, true };
    }
    // The window rounds 2.5 channels to 3; a script or a file that says 2.5 has made a mistake
    // that a guess would hide. Trailing zeros are gone: "2.0" has no fraction.
    if (bounds == Bounds::Strict && p.scale == Scale::Whole && !value->fraction.isEmpty())
        return { 0, ValueError::NotWhole };
    return { static_cast<Units>(roundedScaled(*value, places)) };
}

} // namespace

QString valueText(const Parameter& p, Units units)
{
    return fixedPoint(units, decimals(p.scale));
}

QString rangeText(const Parameter& p)
{
    switch (p.kind) {
    case Kind::Switch:
        return QStringLiteral("on or off");
    case Kind::BaudCode: {
        QStringList rates;
        for (const std::int32_t rate : kBaudRates)
            rates << QString::number(rate);
        return rates.join(QStringLiteral(", "));
    }
    case Kind::Number:
        break;
    }
    QString range = fixedPoint(p.lowest, decimals(p.scale)) + QStringLiteral(" to ")
        + fixedPoint(p.highest, decimals(p.scale));
    if (!p.unit.empty())
        range += u' ' + quoting::latin1(p.unit);
    return range;
}

TypedValue typedValue(const Parameter& p, QStringView text, Bounds bounds)
{
    if (!p.settable)
        return { 0, ValueError::NotSettable };
    switch (p.kind) {
    case Kind::Switch:
        if (const auto state = switchValue(text))
            return { *state };
        return { 0, ValueError::Unreadable };
    case Kind::BaudCode:
        return baudCode(text);
    case Kind::Number:
        break;
    }
    return number(p, text, bounds);
}

QString valueErrorText(const Parameter& p, QStringView text, ValueError error)
{
    const QString typed = quoting::quotedValue(text);
    switch (error) {
    case ValueError::None:
        break;
    case ValueError::NotSettable:
        return QStringLiteral("%1 is measured by the module and cannot be set")
            .arg(quoting::latin1(p.name));
    case ValueError::Unreadable:
        return p.kind == Kind::Switch
            ? QStringLiteral("%1: \"%2\" is not on or off").arg(quoting::latin1(p.name), typed)
            : QStringLiteral("%1: \"%2\" is not a number").arg(quoting::latin1(p.name), typed);
    case ValueError::OutOfRange:
        return (p.kind == Kind::Number ? QStringLiteral("%1: %2 is outside %3")
                                       : QStringLiteral("%1: %2 is not one of %3"))
            .arg(quoting::latin1(p.name), typed, rangeText(p));
    case ValueError::NotWhole:
        return QStringLiteral("%1: %2 has a fraction; %1 takes whole numbers")
            .arg(quoting::latin1(p.name), typed);
    }
    return {};
}

} // namespace device
