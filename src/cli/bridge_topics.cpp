#include "bridge_topics.h"

#include "device/requests.h"

#include <QCryptographicHash>
#include <QStringList>

namespace cli {

namespace {

bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

QString codeOf(char32_t c)
{
    return QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
}

// What the broker would refuse in a topic of its characters: MQTT topics are UTF-8 without
// control characters or noncharacters.
std::optional<QString> characterRefusal(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        } else if (text[i].isSurrogate()) {
            return QStringLiteral("holds half a surrogate pair, which UTF-8 cannot carry");
        }
        if (isControl(c))
            return QStringLiteral("holds the control character %1").arg(codeOf(c));
        if (QChar::isNonCharacter(c))
            return QStringLiteral("holds the noncharacter %1").arg(codeOf(c));
    }
    return std::nullopt;
}

// Joined, not made by QString::arg: a prefix may hold %1.
QString moduleTopic(const QString& prefix, int address, QStringView what)
{
    return prefix + u'/' + QString::number(address) + u'/' + what.toString();
}

} // namespace

QString plainLevel(QString text)
{
    for (QChar& c : text)
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != u'_' && c != u'-')
            c = u'_';
    return text;
}

QString defaultTopicPrefix(const QString& port)
{
    return kDefaultRoot.toString() + u'/' + plainLevel(port.section(u'/', -1));
}

std::optional<QString> topicPrefixRefusal(QStringView prefix)
{
    if (prefix.isEmpty())
        return QStringLiteral("is empty");
    if (const auto why = characterRefusal(prefix))
        return why;
    if (prefix.contains(u'+') || prefix.contains(u'#'))
        return QStringLiteral("holds a wildcard, + or #");
    // $SYS/... and the like: a broker takes the subscription and never delivers to it.
    if (prefix.startsWith(u'$'))
        return QStringLiteral("starts with $, which the broker keeps for its own topics");
    if (prefix.startsWith(u'/'))
        return QStringLiteral("starts with /");
    for (const QStringView level : prefix.split(u'/'))
        if (level.isEmpty())
            return QStringLiteral("has an empty level");
    return std::nullopt;
}

QString hashOf(QStringView text, int hexDigits)
{
    const QByteArray hash
        = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QString::fromLatin1(hash.first(hexDigits));
}

QString clientIdOf(QStringView prefix, qint64 instance)
{
    return QStringLiteral("pwm5-%1-%2").arg(hashOf(prefix, 12)).arg(instance);
}

QString Topics::bridge() const
{
    return prefix + QStringLiteral("/bridge");
}

QString Topics::availability(int address) const
{
    return moduleTopic(prefix, address, u"availability");
}

QString Topics::state(int address) const
{
    return moduleTopic(prefix, address, u"state");
}

QString Topics::set(int address) const
{
    return moduleTopic(prefix, address, u"set");
}

QString Topics::setName(int address, QStringView name) const
{
    return set(address) + u'/' + name.toString();
}

QString Topics::result(int address) const
{
    return result(QString::number(address));
}

QString Topics::result(QStringView level) const
{
    return prefix + u'/' + level.toString() + QStringLiteral("/result");
}

QString Topics::setFilter() const
{
    return prefix + QStringLiteral("/+/set");
}

QString Topics::setNameFilter() const
{
    return prefix + QStringLiteral("/+/set/+");
}

std::optional<int> addressLevel(QStringView level)
{
    // QString::toInt would pass over blanks and take a sign; 3 digits hold every address.
    if (level.isEmpty() || level.size() > 3 || level.startsWith(u'0'))
        return std::nullopt;
    int address = 0;
    for (const QChar c : level) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        address = address * 10 + (c.unicode() - u'0');
    }
    if (address < device::kMinUnicastAddress || address > device::kMaxUnicastAddress)
        return std::nullopt;
    return address;
}

std::optional<CommandTopic> commandTopic(const Topics& topics, QStringView topic)
{
    if (!topic.startsWith(topics.prefix + u'/'))
        return std::nullopt;
    const QList<QStringView> levels = topic.sliced(topics.prefix.size() + 1).split(u'/');
    if (levels.size() < 2 || levels.size() > 3 || levels[1] != u"set")
        return std::nullopt;
    return CommandTopic { levels[0].toString(), addressLevel(levels[0]),
        levels.size() == 3 ? levels[2].toString() : QString() };
}

} // namespace cli
