#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

namespace line {

// The system's serial devices in the order the operator counts them: USB adapters
// (ttyUSB, ttyACM) first, then the others, each group ordered by name, numbers by value.
QStringList orderedSystemPorts(QStringList systemLocations);

// The device that "COMn" stands for. A file or link named COMn in the working directory wins
// (a link to /dev/serial/by-id/... pins a number to one adapter; a file whose one line is
// "tcp:HOST:PORT" or "rfc2217:HOST:PORT" makes n a device server's line); otherwise the n-th
// system port. Empty when n is 0 or nothing stands for n.
QString resolvePort(int n, const QDir& workingDir, const QStringList& orderedPorts);

// The same against the current directory and the ports the system reports now.
QString resolvePort(int n);

// The device as a message names it: a link (a COMn that points nowhere) by its name and where it
// points, "COM3 -> /dev/serial/by-id/usb-...", so that the operator sees which adapter is
// missing; any other path as it is.
QString deviceLabel(const QString& device);

// The device a path names, with links followed and "." and ".." taken out, so that every
// spelling of one device comes to one name (and to one lock file); the path as it is when it
// names nothing, and on Windows.
QString resolvedDevice(const QString& path);

} // namespace line
