#pragma once

#include "ports/network_address.h"
#include "rtu/failure.h"

#include <QDir>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>
#include <variant>

namespace line {

// Where a line is: a serial device by the path that opens it, or a device server's port. The
// operator's text is resolved into one once per call or click, COMn files and links included,
// and everything after reads this value.
class LineAddress {
public:
    // A link stays a link: it is followed anew at each open, so that a re-plugged adapter's
    // /dev/serial/by-id/... link is found again.
    static LineAddress serialDevice(QString path, QString label);
    static LineAddress server(NetworkAddress address, QString label);

    bool isServer() const { return std::holds_alternative<NetworkAddress>(target_); }
    // Only for a serial device, and only for a server.
    const QString& devicePath() const { return std::get<QString>(target_); }
    const NetworkAddress& serverAddress() const { return std::get<NetworkAddress>(target_); }

    // A raw TCP port, whose far line stays at the rate its server gives it: a master can
    // neither set that rate nor follow a module to another.
    bool keepsServerRate() const;

    // The line as messages name it: "/dev/ttyUSB0", "COM3 -> /dev/serial/by-id/usb-..." for a
    // link that points nowhere, "tcp:cabinet-7:4001".
    const QString& label() const { return label_; }

    friend bool operator==(const LineAddress&, const LineAddress&) = default;

private:
    LineAddress(std::variant<QString, NetworkAddress> target, QString label);

    std::variant<QString, NetworkAddress> target_;
    QString label_;
};

// What a text resolves to: the line, or why there is none, named by label.
struct ResolvedLine {
    std::optional<LineAddress> address;
    LineFault fault;
    QString label; // the line's, or the text as given when there is none

    explicit operator bool() const { return address.has_value(); }
};

// Where COMn is looked for: the working folder, and the system's serial devices in the order
// the operator counts them, asked only when no file or link stands for the number.
struct PortContext {
    QDir workingDir;
    std::function<QStringList()> systemPorts;

    // The current folder and the ports the system reports when asked.
    static PortContext current();
};

// The line a port number stands for, "COMn". A file or link named COMn in the working folder
// wins: a small regular file whose first line is "tcp:HOST:PORT" or "rfc2217:HOST:PORT" makes
// n a device server's line, any other file or link names a device (a link to
// /dev/serial/by-id/... pins a number to one adapter); otherwise the n-th system port. On
// Windows the system's own COMn, unless such an address file stands for it.
ResolvedLine resolvePortNumber(int n, const PortContext& context);

// The line the operator's text names: "COMn" as above, a network address, or a device path.
ResolvedLine resolveLine(const QString& given, const PortContext& context);

// The system's serial devices in the order the operator counts them: USB adapters
// (ttyUSB, ttyACM) first, then the others, each group ordered by name, numbers by value.
QStringList orderedSystemPorts(QStringList systemLocations);

// The device a path names, with links followed and "." and ".." taken out, so that every
// spelling of one device comes to one name (and to one lock file); the path as it is when it
// names nothing, and on Windows.
QString resolvedDevice(const QString& path);

} // namespace line
