#pragma once

#include "device/reply_decoder.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

// A module's parameters as pwm5ctl prints them.
namespace cli {

// The order people read them in: the module-wide values, then channel by channel.
const std::array<device::ParameterId, device::kParameterCount>& printOrder();

// "12.34 V", "150000 Hz", "on", "9600", "unknown (code 7)".
QString shownValue(const device::Parameter& p, device::Units units);

// 12.34, 150000, true, 9600 (null for an unknown baud-rate code).
QJsonValue jsonValue(const device::Parameter& p, device::Units units);

// "name  value" with the names in one column.
QString line(const QString& name, const QString& value);

// Every parameter of a whole read, address first.
QStringList readingLines(int address, const device::Reading& reading);

// The readings of several modules side by side, a column per module, address first: four fit
// in 80 columns.
struct ModuleReading {
    int address;
    device::Reading reading;
};
QStringList readingColumns(const std::vector<ModuleReading>& readings);

// {"address":1,"baud_rate":9600,"baud_code":1,...,"channels":[{"frequency":...},...]}: the
// form apply takes back.
QJsonObject readingJson(int address, const device::Reading& reading);

// Now, in ISO 8601 with the UTC offset, to the millisecond: "2026-12-09T20:31:00.123+01:00".
QString timeNow();

// A reading as monitor --json prints it and the bridge publishes it: readingJson with "ok"
// and "time".
QJsonObject stateJson(int address, const device::Reading& reading);

// The key of a parameter in readingJson: "pwm_voltage", or "duty" inside channel 3.
struct JsonPlace {
    int channel; // the index in "channels", the table's channel less one; -1 for the module's
    QString key;
};
JsonPlace jsonPlace(const device::Parameter& p);

} // namespace cli
