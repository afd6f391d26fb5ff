#include "port_settings.h"

#include <QStringList>

namespace line {

QString parityLetter(const QString& parityText, const QString& previous)
{
    if (parityText == QStringLiteral("无校验"))
        return QStringLiteral("N");
    if (parityText == QStringLiteral("奇校验"))
        return QStringLiteral("O");
    if (parityText == QStringLiteral("偶校验"))
        return QStringLiteral("E");
    return previous;
}

QString settingsString(const QString& baud, const QString& parityLetter, const QString& dataBits,
    const QString& stopBits)
{
    return QStringList { baud, parityLetter, dataBits, stopBits }.join(QLatin1Char(','));
}

namespace {

// A positive whole number of plain digits: no sign, no blanks, no exponent.
std::optional<qint32> positiveNumber(const QString& text)
{
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    const qint32 value = text.toInt();
    return value > 0 ? std::optional(value) : std::nullopt;
}

} // namespace

std::optional<PortSettings> parseSettings(const QString& settings)
{
    const QStringList parts = settings.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;

    PortSettings result;
    const auto baud = positiveNumber(parts[0]);
    if (!baud)
        return std::nullopt;
    result.baud = *baud;

    if (parts[1] != QLatin1String("N") && parts[1] != QLatin1String("O")
        && parts[1] != QLatin1String("E"))
        return std::nullopt;
    result.parity = parts[1].at(0).toLatin1();

    const auto dataBits = positiveNumber(parts[2]);
    if (!dataBits || *dataBits < 5 || *dataBits > 8)
        return std::nullopt;
    result.dataBits = *dataBits;

    const auto stopBits = positiveNumber(parts[3]);
    if (!stopBits || *stopBits > 2)
        return std::nullopt;
    result.stopBits = *stopBits;
    return result;
}

} // namespace line
