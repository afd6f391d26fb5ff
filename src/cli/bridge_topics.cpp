#include "bridge_topics.h"

#include "device/requests.h"

#include <QStringList>

namespace cli {

QString plainLevel(QString text)
{
    for (QChar& c : text)
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != u'_' && c != u'-')
            c = u'_';
    return text;
}

QString defaultTopicPrefix(const QString& port)
{
    return QStringLiteral("pwm5/") + plainLevel(port.section(u'/', -1));
}

std::optional<QString> topicPrefixRefusal(QStringView prefix)
{
    if (prefix.isEmpty())
        return QStringLiteral("is empty");
    if (prefix.contains(u'+') || prefix.contains(u'#'))
        return QStringLiteral("holds a wildcard, + or #");
    if (prefix.startsWith(u'/'))
        return QStringLiteral("starts with /");
    for (const QStringView level : prefix.split(u'/'))
        if (level.isEmpty())
            return QStringLiteral("has an empty level");
    return std::nullopt;
}

QString Topics::bridge() const
{
    return prefix + QStringLiteral("/bridge");
}

QString Topics::availability(int address) const
{
    return QStringLiteral("%1/%2/availability").arg(prefix).arg(address);
}

QString Topics::state(int address) const
{
    return QStringLiteral("%1/%2/state").arg(prefix).arg(address);
}

QString Topics::set(int address) const
{
    return QStringLiteral("%1/%2/set").arg(prefix).arg(address);
}

QString Topics::setName(int address, QStringView name) const
{
    return set(address) + u'/' + name.toString();
}

QString Topics::result(int address) const
{
    return QStringLiteral("%1/%2/result").arg(prefix).arg(address);
}

QString Topics::setFilter() const
{
    return prefix + QStringLiteral("/+/set");
}

QString Topics::setNameFilter() const
{
    return prefix + QStringLiteral("/+/set/+");
}

std::optional<CommandTopic> commandTopic(const Topics& topics, QStringView topic)
{
    if (!topic.startsWith(topics.prefix + u'/'))
        return std::nullopt;
    const QList<QStringView> levels = topic.sliced(topics.prefix.size() + 1).split(u'/');
    if (levels.size() < 2 || levels.size() > 3 || levels[1] != u"set")
        return std::nullopt;
    bool number = false;
    const int address = levels[0].toInt(&number);
    if (!number || address < device::kMinUnicastAddress || address > device::kMaxUnicastAddress
        || levels[0].startsWith(u'+') || levels[0].startsWith(u'0'))
        return std::nullopt;
    return CommandTopic { address, levels.size() == 3 ? levels[2].toString() : QString() };
}

} // namespace cli
