#pragma once

#include "rtu/failure.h"

#include <QSerialPort>
#include <QString>

// The one place where the errors of Qt's serial port become the failure table's kinds and the
// words the operator reads beside the device's name; socket_faults.h does the same for a
// device server's connection.
namespace line {

// Why a serial device did not open. Qt reports a lock held by another process and a plain
// "permission denied" with the same code, so the caller says whether the device itself is
// readable and writable for us, and its group for the cure: "permission denied (the user is
// not in the group that owns the device, dialout)".
LineFault serialOpenFault(QSerialPort::SerialPortError error, const QString& systemText,
    bool deviceAccessible, const QString& group);

// Whether a serial port's error means that the device has gone: Qt repeats these in a busy
// loop for as long as the port stays open, so the port is closed at the first.
bool meansGone(QSerialPort::SerialPortError error);

// The device went away while open: "the device is gone (input/output error)". A device that
// hung up (a pseudo-terminal whose other end closed, a USB adapter pulled) ends a read with
// nothing for the system to say, and Qt words whatever error came last ("unknown error",
// "inappropriate ioctl for device"): the hang-up is said instead.
LineFault serialLossFault(const QString& systemText, bool hungUp);

// Qt's texts start with a capital, as sentences do; here they follow other words.
QString lowerFirst(QString text);

} // namespace line
