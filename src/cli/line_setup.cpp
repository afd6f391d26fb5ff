#include "commands.h"

#include "link/port_name.h"

#include <QRegularExpression>

namespace cli {

QString devicePath(const QString& port)
{
    static const QRegularExpression comName(QStringLiteral("^COM([0-9]{1,3})$"));
    const QRegularExpressionMatch match = comName.match(port);
    return match.hasMatch() ? line::resolvePort(match.captured(1).toInt()) : port;
}

int openLine(const Invocation& call, Master& master, Console& console, int baud)
{
    const QString device = devicePath(call.port);
    if (device.isEmpty())
        return console.fail(kPortUnusable,
            QStringLiteral("%1: no serial port stands for this number").arg(call.port));
    line::PortSettings settings = call.line;
    settings.baud = baud;
    if (const auto why = master.open(device, settings))
        return console.fail(
            kPortUnusable, QStringLiteral("%1: %2").arg(line::deviceLabel(device), *why));
    return kDone;
}

} // namespace cli
