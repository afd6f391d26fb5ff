#include "bridge_discovery.h"

#include "apply_file.h"
#include "reading_output.h"

#include "device/parameter_value.h"

#include <QJsonArray>

#include <cmath>

namespace cli {

namespace {

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
        config.insert(QStringLiteral("unit_of_measurement"), device::latin1(p.unit));
        config.insert(QStringLiteral("value_template"), QStringLiteral("{{ %1 }}").arg(path));
        return;
    }
    config.insert(
        QStringLiteral("command_topic"), m.topics.setName(m.address, device::latin1(p.name)));
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
        config.insert(QStringLiteral("unit_of_measurement"), device::latin1(p.unit));
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

std::vector<DiscoveryConfig> discoveryConfigs(const DiscoveredModule& m)
{
    const QString node = plainLevel(QStringLiteral("%1_%2").arg(m.topics.prefix).arg(m.address));
    const QJsonArray availability { QJsonObject { { QStringLiteral("topic"), m.topics.bridge() } },
        QJsonObject { { QStringLiteral("topic"), m.topics.availability(m.address) } } };
    std::vector<DiscoveryConfig> configs;
    for (const device::Parameter& p : device::kParameters) {
        if (p.settable && !writable(p))
            continue;
        const QString object = plainLevel(device::latin1(p.name));
        QJsonObject config { { QStringLiteral("name"), device::latin1(p.name) },
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
