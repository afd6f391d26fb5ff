#pragma once

#include <QSerialPort>

namespace serial {

enum class ProbeOutcome {
    Usable,
    Missing, // no such device, or no device stands for the chosen number
    Busy, // locked or held by another program, or already open
    OtherFailure,
};

// The one place where serial-layer errors become what the operator is told. Qt reports a
// lock held by another process and a plain "permission denied" with the same code, so the
// caller says whether the device itself is readable and writable for us.
ProbeOutcome probeOutcome(QSerialPort::SerialPortError error, bool deviceAccessible);

} // namespace serial
