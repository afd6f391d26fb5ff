#pragma once

#include "bridge_topics.h"

#include "device/register_map.h"

#include <QJsonObject>
#include <QString>

#include <vector>

// Home Assistant's MQTT discovery: one retained config per entity of a module, made from the
// parameter table: a sensor for the supply voltage, a number for each quantity that may be
// set, a switch for each output and the key lock.
namespace cli {

struct DiscoveryConfig {
    QString topic; // DISCOVERY/COMPONENT/NODE/OBJECT/config
    QJsonObject config;
};

struct DiscoveredModule {
    Topics topics;
    QString discoveryPrefix; // "homeassistant"
    int address;
    QString line; // the line as messages name it: "/dev/ttyUSB0", "tcp:cabinet-7:4001"
    QString version; // pwm5ctl's
};

std::vector<DiscoveryConfig> discoveryConfigs(const DiscoveredModule& module);

// The JSON path of a parameter in the state object, as a Home Assistant template reads it:
// "value_json.supply_voltage", "value_json.channels[0].duty".
QString statePath(const device::Parameter& p);

} // namespace cli
