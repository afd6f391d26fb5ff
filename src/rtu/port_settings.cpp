#include "port_settings.h"

#include <QStringList>

#include <algorithm>

namespace line {

namespace {

// A whole number of plain digits, at most nine of them so that it fits a qint32.
std::optional<qint32> plainNumber(QStringView text, qint32 lowest, qint32 highest)
{
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    qint32 value = 0;
    for (const QChar c : text) {
        // QChar::isDigit would also take other scripts' digits.
        if (c.unicode() < u'0' || c.unicode() > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value < lowest || value > highest)
        return std::nullopt;
    return value;
}

template <typename Matches> std::optional<Parity> parityWhere(Matches matches)
{
    const auto found = std::ranges::find_if(kParities, matches);
    return found == kParities.end() ? std::nullopt : std::optional(*found);
}

} // namespace

std::optional<Parity> parityOfLetter(char letter)
{
    return parityWhere([letter](const Parity& p) { return p.letter == letter; });
}

std::optional<Parity> parityOfWindowText(QStringView text)
{
    return parityWhere([text](const Parity& p) {
        return text == QStringView(p.windowText.data(), qsizetype(p.windowText.size()));
    });
}

std::optional<Parity> parityOfWord(QStringView word)
{
    return parityWhere([word](const Parity& p) {
        return word == QLatin1String(p.word.data(), qsizetype(p.word.size()));
    });
}

std::optional<qint32> baudRate(QStringView text)
{
    return plainNumber(text, 1, 999'999'999);
}

std::optional<int> dataBits(QStringView text)
{
    return plainNumber(text, 6, 8);
}

std::optional<int> stopBits(QStringView text)
{
    return plainNumber(text, 1, 2);
}

QString parityLetter(const QString& parityText, const QString& previous)
{
    const auto parity = parityOfWindowText(parityText);
    return parity ? QString(QLatin1Char(parity->letter)) : previous;
}

QString settingsString(const QString& baud, const QString& parityLetter, const QString& dataBits,
    const QString& stopBits)
{
    return QStringList { baud, parityLetter, dataBits, stopBits }.join(QLatin1Char(','));
}

std::optional<PortSettings> parseSettings(const QString& settings)
{
    const QStringList parts = settings.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    const auto baud = baudRate(parts[0]);
    const auto parity
        = parts[1].size() == 1 ? parityOfLetter(parts[1][0].toLatin1()) : std::nullopt;
    const auto data = dataBits(parts[2]);
    const auto stops = stopBits(parts[3]);
    if (!baud || !parity || !data || !stops)
        return std::nullopt;
    return PortSettings { *baud, parity->letter, *data, *stops };
}

} // namespace line
