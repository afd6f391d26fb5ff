#pragma once

#include <QSerialPort>

namespace line {

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

// Why a device cannot be used, for the operator who reads it beside the port's name: the
// system's words, and the usual cure where one is known, e.g. "permission denied (the user is
// not in the group that owns the device, dialout)". group is the device's group, if known.
QString probeReason(QSerialPort::SerialPortError error, const QString& systemText,
    bool deviceAccessible, const QString& group);

} // namespace line
