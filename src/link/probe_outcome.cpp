#include "probe_outcome.h"

namespace line {

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

QString probeReason(QSerialPort::SerialPortError error, const QString& systemText,
    bool deviceAccessible, const QString& group)
{
    // Qt's texts start with a capital, as sentences do; here they follow a device's name.
    QString reason = systemText;
    if (!reason.isEmpty())
        reason[0] = reason[0].toLower();
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("no such device");
    case QSerialPort::OpenError:
        return QStringLiteral("already open");
    case QSerialPort::PermissionError:
        if (!deviceAccessible)
            return QStringLiteral("permission denied (the user is not in the group that owns the "
                                  "device, %1)")
                .arg(group.isEmpty() || group == QLatin1String("root")
                        ? QStringLiteral("usually dialout")
                        : group);
        // Qt words a lock held by another program as a permission error; it is none.
        return QStringLiteral("in use by another program");
    default:
        return reason.isEmpty() ? QStringLiteral("unknown error") : reason;
    }
}

} // namespace line
