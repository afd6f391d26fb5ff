#include "quoted_text.h"

namespace quoting {

namespace {

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F);
}

// One character, or a pair of UTF-16 units that makes one, from index on.
qsizetype characterLength(QStringView text, qsizetype index)
{
    return text[index].isHighSurrogate() && index + 1 < text.size()
            && text[index + 1].isLowSurrogate()
        ? 2
        : 1;
}

} // namespace

QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString escapedControls(QStringView text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (isControl(c))
            shown += QStringLiteral("\\x%1").arg(
                static_cast<uint>(c.unicode()), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

QString quotedValue(QStringView given)
{
    // Counted as the terminal shows it: an escape is four characters, and a character beyond
    // the basic plane is a pair of UTF-16 units; neither is cut apart.
    QString shown;
    for (qsizetype i = 0; i < given.size();) {
        const qsizetype length = characterLength(given, i);
        const QString piece = escapedControls(given.sliced(i, length));
        if (shown.size() + piece.size() > kQuotedLength)
            return shown + u'…';
        shown += piece;
        i += length;
    }
    return shown;
}

} // namespace quoting
