#include "probe_outcome.h"

namespace serial {

ProbeOutcome probeOutcome(QSerialPort::SerialPortError error, bool deviceAccessible)
{
    switch (error) {
    case QSerialPort::NoError:
        return ProbeOutcome::Usable;
    case QSerialPort::DeviceNotFoundError:
        return ProbeOutcome::Missing;
    case QSerialPort::OpenError:
        return ProbeOutcome::Busy;
    case QSerialPort::PermissionError:
        return deviceAccessible ? ProbeOutcome::Busy : ProbeOutcome::OtherFailure;
    default:
        return ProbeOutcome::OtherFailure;
    }
}

} // namespace serial
