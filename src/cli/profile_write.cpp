#include "profile_write.h"

#include "reading_output.h"

#include "device/parameter_value.h"
#include "device/requests.h"
#include "device/write_all.h"
#include "text/quoted_text.h"

#include <span>

namespace cli {

ProfileWrite profileWrite(int address, const device::ParameterValues& held, const Profile& profile)
{
    ProfileWrite write { held, {} };
    for (const Assignment& a : profile.assignments)
        write.after[device::indexOf(a.parameter->id)] = a.units;
    if (write.after == held)
        return write;
    const device::WrittenRegisters registers = device::writtenRegisters(write.after);
    const std::size_t count
        = device::parameter(device::ParameterId::BaudRate).address - device::kFirstWrittenRegister;
    write.request = device::writeRegistersRequest(static_cast<std::uint8_t>(address),
        device::kFirstWrittenRegister, std::span(registers).first(count));
    return write;
}

QJsonObject changedJson(const device::ParameterValues& before, const device::ParameterValues& after)
{
    QJsonObject changed;
    for (const device::ParameterId id : printOrder()) {
        const device::Parameter& p = device::parameter(id);
        const device::Units was = before[device::indexOf(id)];
        const device::Units is = after[device::indexOf(id)];
        if (was != is && writable(p))
            changed.insert(quoting::latin1(p.name), jsonValue(p, is));
    }
    return changed;
}

} // namespace cli
