#pragma once

#include "link/port_settings.h"
#include "link/probe_outcome.h"

#include <QSerialPort>
#include <QString>

namespace line {

// Names the device and gives it the line settings, before it is opened: a pty refuses some
// settings once open but takes them all before.
void setUpPort(QSerialPort& port, const QString& device, const PortSettings& settings);

// What a failed open means for the operator.
ProbeOutcome openOutcome(const QSerialPort& port, const QString& device);
// Why the port could not be opened, as probeReason words it, and the port's error cleared.
QString openFailure(QSerialPort& port, const QString& device);

// Whether the error means that the device has gone: Qt repeats these in a busy loop for as
// long as the port stays open, so the port is closed at the first.
bool meansGone(QSerialPort::SerialPortError error);

} // namespace line
