#pragma once

#include "bridge_topics.h"

#include "device/register_map.h"

#include <QJsonObject>
#include <QString>

#include <optional>
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

// Home Assistant's node id of a module, the stem of its entities' unique_id and object_id: the
// prefix's plain form and _A. Ids were made so before the hash came, and an entity keeps its id
// only while it keeps its unique_id: so the plain form stays wherever no other prefix can give
// it. That is a prefix of letters, digits, - and / alone (test/line, module 2: test_line_2),
// and pwm5/NAME, NAME of letters, digits, - and single _ inside, as the default prefixes are
// (pwm5/usb-FTDI_FT232R_A1-if00-port0). Any other prefix (plant/line_1, 车间/一号线) adds __ and
// 8 hex digits of its hash to its plain form, and no plain form holds __.
QString discoveryNode(QStringView prefix, int address);

// The length in bytes of UTF-8 of the longest topic the bridge makes or takes under the prefix,
// for any module address and every parameter a command may set; with a discovery prefix, the
// discovery configs' topics too.
qsizetype longestTopicBytes(const Topics& topics, std::optional<QStringView> discoveryPrefix);

// The JSON path of a parameter in the state object, as a Home Assistant template reads it:
// "value_json.supply_voltage", "value_json.channels[0].duty".
QString statePath(const device::Parameter& p);

} // namespace cli
