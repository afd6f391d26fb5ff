#include "line_faults.h"

namespace line {

LineFault serialOpenFault(QSerialPort::SerialPortError error, const QString& systemText,
    bool deviceAccessible, const QString& group)
{
    switch (error) {
    case QSerialPort::NoError:
        return {};
    case QSerialPort::DeviceNotFoundError:
        return { Failure::Missing, QStringLiteral("no such device") };
    case QSerialPort::OpenError:
        return { Failure::Busy, QStringLiteral("already open") };
    case QSerialPort::PermissionError:
        if (!deviceAccessible)
            return { Failure::Denied,
                QStringLiteral("permission denied (the user is not in the group that owns the "
                               "device, %1)")
                    .arg(group.isEmpty() || group == QLatin1String("root")
                            ? QStringLiteral("usually dialout")
                            : group) };
        // Qt words a lock held by another program as a permission error; it is none.
        return { Failure::Busy, QStringLiteral("in use by another program") };
    default:
        return { Failure::Unusable,
            systemText.isEmpty() ? QStringLiteral("unknown error") : lowerFirst(systemText) };
    }
}

bool meansGone(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError
        || error == QSerialPort::WriteError;
}

LineFault serialLossFault(const QString& systemText, bool hungUp)
{
    return { Failure::Lost,
        QStringLiteral("the device is gone (%1)")
            .arg(hungUp ? QStringLiteral("it hung up: its other end closed, or it was unplugged")
                        : lowerFirst(systemText)) };
}

QString lowerFirst(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

} // namespace line
