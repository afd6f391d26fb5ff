#include "decimal_text.h"

namespace device {

namespace {

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

int digitAt(const QString& digits, qsizetype index)
{
    return index < digits.size() ? digits[index].unicode() - u'0' : 0;
}

std::strong_ordering compareMagnitude(const Decimal& a, const Decimal& b)
{
    if (a.whole.size() != b.whole.size())
        return a.whole.size() <=> b.whole.size();
    if (const int order = QString::compare(a.whole, b.whole); order != 0)
        return order <=> 0;
    // Trailing zeros are gone, so a shorter fraction that is a prefix is the smaller one.
    return QString::compare(a.fraction, b.fraction) <=> 0;
}

} // namespace

std::optional<Decimal> parsedDecimal(QStringView text)
{
    Decimal value;
    qsizetype i = 0;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) {
        value.negative = text[0] == u'-';
        ++i;
    }
    bool point = false;
    bool digit = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'.' && !point) {
            point = true;
        } else if (isAsciiDigit(c)) {
            digit = true;
            (point ? value.fraction : value.whole).append(c);
        } else {
            return std::nullopt;
        }
    }
    if (!digit)
        return std::nullopt;

    qsizetype leading = 0;
    while (leading < value.whole.size() && value.whole[leading] == u'0')
        ++leading;
    value.whole.remove(0, leading);
    while (value.fraction.endsWith(u'0'))
        value.fraction.chop(1);
    if (value.whole.isEmpty() && value.fraction.isEmpty())
        value.negative = false;
    return value;
}

std::strong_ordering compareScaled(const Decimal& value, std::int64_t scaled, int decimals)
{
    // The bound as a decimal of its own: its digits are exact, so the comparison is too.
    const Decimal bound = *parsedDecimal(fixedPoint(scaled, decimals));
    if (value.negative != bound.negative)
        return value.negative ? std::strong_ordering::less : std::strong_ordering::greater;
    const std::strong_ordering order = compareMagnitude(value, bound);
    return value.negative ? 0 <=> order : order;
}

std::int64_t roundedScaled(const Decimal& value, int decimals)
{
    constexpr qsizetype kMaxWholeDigits = 15;
    std::int64_t scaled = 0;
    if (value.whole.size() > kMaxWholeDigits) {
        scaled = 999'999'999'999'999;
    } else {
        for (const QChar c : value.whole)
            scaled = scaled * 10 + (c.unicode() - u'0');
    }
    for (int i = 0; i < decimals; ++i)
        scaled = scaled * 10 + digitAt(value.fraction, i);
    // Half away from zero on the magnitude: the next digit alone decides.
    if (digitAt(value.fraction, decimals) >= 5)
        ++scaled;
    return value.negative ? -scaled : scaled;
}

QString fixedPoint(std::int64_t scaled, int decimals)
{
    const bool negative = scaled < 0;
    const std::uint64_t magnitude
        = negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    // QString::number ignores the locale, so the point and the digits are always ASCII.
    QString text = QString::number(magnitude);
    if (decimals > 0) {
        if (text.size() <= decimals)
            text.prepend(QString(decimals + 1 - text.size(), u'0'));
        text.insert(text.size() - decimals, u'.');
    }
    if (negative)
        text.prepend(u'-');
    return text;
}

} // namespace device
