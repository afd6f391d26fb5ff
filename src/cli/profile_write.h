#pragma once

#include "apply_file.h"

#include "device/register_map.h"

#include <QByteArray>
#include <QJsonObject>

// What writing a profile to a module takes, for apply and the bridge alike.
namespace cli {

struct ProfileWrite {
    device::ParameterValues after; // what the module holds once the write is done
    // One Write Multiple Registers request of registers 0x0001 to 0x0017: every register of
    // the write-all block but the module's baud-rate code, which stays. Empty when the module
    // holds every value already.
    QByteArray request;
};

ProfileWrite profileWrite(int address, const device::ParameterValues& held, const Profile& profile);

// The values that the write changes, by script name, as apply --json prints them:
// {"ch1.duty":25.5}.
QJsonObject changedJson(
    const device::ParameterValues& before, const device::ParameterValues& after);

} // namespace cli
