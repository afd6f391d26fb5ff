#include "bridge_discovery.h"

#include "apply_file.h"
#include "reading_output.h"

#include "device/parameter_value.h"
#include "device/requests.h"
#include "text/quoted_text.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>

namespace cli {

namespace {

// A parameter that a command on P/A/set/NAME may set: not the baud rate, nor the address.
bool commandable(const device::Parameter& p)
{
    return p.settable && writable(p);
}

bool isPlainCharacter(QChar c)
{
    return (c.isLetterOrNumber() && c.unicode() < 0x80) || c == u'-';
}

// Whether the plain form of the prefix comes from it alone: / is the only character written as
// _ and no level is empty, or it is pwm5/NAME with no _ beside another or at either end of NAME.
bool keepsPlainForm(QStringView prefix)
{
    const QList<QStringView> levels = prefix.split(u'/');
    if (std::ranges::any_of(levels, [](QStringView level) { return level.isEmpty(); }))
        return false;
    if (levels.front() != kDefaultRoot)
        return std::ranges::all_of(
            prefix, [](QChar c) { return isPlainCharacter(c) || c == u'/'; });
    if (levels.size() == 1)
        return true;
    const QStringView name = levels[1];
    return levels.size() == 2 && !name.startsWith(u'_') && !name.endsWith(u'_')
        && !name.contains(u"__")
        && std::ranges::all_of(name, [](QChar c) { return isPlainCharacter(c) || c == u'_'; });
}

// What Home Assistant makes of a parameter: the supply voltage is only measured.
const char* componentOf(const device::Parameter& p)
{
    if (!p.settable)
        return "sensor";
    return p.kind == device::Kind::Switch ? "switch" : "number";
}

double inUnits(const device::Parameter& p, std::int64_t units)
{
    return static_cast<double>(units) / std::pow(10.0, device::decimals(p.scale));
}

QJsonObject deviceOf(const DiscoveredModule& m, const QString& node)
{
    return { { QStringLiteral("identifiers"), QJsonArray { node } },
        { QStringLiteral("name"),
            QStringLiteral("PWM5 module %1 on %2").arg(m.address).arg(m.line) },
        { QStringLiteral("model"), QStringLiteral("PWM5 five-channel PWM signal generator") },
        { QStringLiteral("sw_version"), QStringLiteral("pwm5ctl %1").arg(m.version) } };
}

// The keys that depend on the entity's kind.
void addKindKeys(QJsonObject& config, const device::Parameter& p, const DiscoveredModule& m)
{
    const QString path = statePath(p);
    if (!p.settable) {
        config.insert(QStringLiteral("device_class"), QStringLiteral("voltage"));
        config.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
        config.insert(QStringLiteral("unit_of_measurement"), quoting::latin1(p.unit));
        config.insert(QStringLiteral("value_template"), QStringLiteral("{{ %1 }}").arg(path));
        return;
    }
    config.insert(
        QStringLiteral("command_topic"), m.topics.setName(m.address, quoting::latin1(p.name)));
    if (p.kind == device::Kind::Switch) {
        config.insert(QStringLiteral("payload_on"), QStringLiteral("on"));
        config.insert(QStringLiteral("payload_off"), QStringLiteral("off"));
        config.insert(QStringLiteral("state_on"), QStringLiteral("on"));
        config.insert(QStringLiteral("state_off"), QStringLiteral("off"));
        config.insert(QStringLiteral("value_template"),
            QStringLiteral("{{ 'on' if %1 else 'off' }}").arg(path));
        return;
    }
    config.insert(QStringLiteral("min"), inUnits(p, p.lowest));
    config.insert(QStringLiteral("max"), inUnits(p, p.highest));
    config.insert(QStringLiteral("step"), inUnits(p, 1));
    config.insert(QStringLiteral("mode"), QStringLiteral("box"));
    if (!p.unit.empty())
        config.insert(QStringLiteral("unit_of_measurement"), quoting::latin1(p.unit));
    config.insert(QStringLiteral("value_template"), QStringLiteral("{{ %1 }}").arg(path));
}

} // namespace

QString statePath(const device::Parameter& p)
{
    const JsonPlace place = jsonPlace(p);
    return place.channel < 0
        ? QStringLiteral("value_json.%1").arg(place.key)
        : QStringLiteral("value_json.channels[%1].%2").arg(place.channel).arg(place.key);
}

QString discoveryNode(QStringView prefix, int address)
{
    const QString plain = plainLevel(prefix.toString());
    const QString stem
        = keepsPlainForm(prefix) ? plain : plain + QStringLiteral("__") + hashOf(prefix, 8);
    return stem + u'_' + QString::number(address);
}

qsizetype longestTopicBytes(const Topics& topics, std::optional<QStringView> discoveryPrefix)
{
    qsizetype longest = 0;
    const auto count
        = [&longest](const QString& topic) { longest = std::max(longest, topic.toUtf8().size()); };
    // 247 has the most digits of any address.
    constexpr int widest = device::kMaxUnicastAddress;
    for (const QString& topic :
        { topics.bridge(), topics.availability(widest), topics.state(widest), topics.set(widest),
            topics.result(widest), topics.setFilter(), topics.setNameFilter() })
        count(topic);
    for (const device::Parameter& p : device::kParameters)
        if (commandable(p))
            count(topics.setName(widest, quoting::latin1(p.name)));
    if (discoveryPrefix)
        for (const DiscoveryConfig& c :
            discoveryConfigs({ topics, discoveryPrefix->toString(), widest, {}, {} }))
            count(c.topic);
    return longest;
}

std::vector<DiscoveryConfig> discoveryConfigs(const DiscoveredModule& m)
{
    const QString node = discoveryNode(m.topics.prefix, m.address);
    const QJsonArray availability { QJsonObject { { QStringLiteral("topic"), m.topics.bridge() } },
        QJsonObject { { QStringLiteral("topic"), m.topics.availability(m.address) } } };
    std::vector<DiscoveryConfig> configs;
    for (const device::Parameter& p : device::kParameters) {
        if (p.settable && !commandable(p))
            continue;
        const QString object = plainLevel(quoting::latin1(p.name));
        QJsonObject config { { QStringLiteral("name"), quoting::latin1(p.name) },
            { QStringLiteral("unique_id"), node + u'_' + object },
            { QStringLiteral("object_id"), node + u'_' + object },
            { QStringLiteral("state_topic"), m.topics.state(m.address) },
            { QStringLiteral("availability"), availability },
            { QStringLiteral("availability_mode"), QStringLiteral("all") },
            { QStringLiteral("payload_available"), QStringLiteral("online") },
            { QStringLiteral("payload_not_available"), QStringLiteral("offline") },
            { QStringLiteral("device"), deviceOf(m, node) } };
        addKindKeys(config, p, m);
        configs.push_back(
            { QStringLiteral("%1/%2/%3/%4/config")
                    .arg(m.discoveryPrefix, QLatin1String(componentOf(p)), node, object),
                config });
    }
    return configs;
}

} // namespace cli
