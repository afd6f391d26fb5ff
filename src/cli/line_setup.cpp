#include "commands.h"

#include "link/network_address.h"
#include "link/port_name.h"

#include <QRegularExpression>

namespace cli {

QString devicePath(const QString& port)
{
    static const QRegularExpression comName(QStringLiteral("^COM([0-9]{1,3})$"));
    const QRegularExpressionMatch match = comName.match(port);
    return match.hasMatch() ? line::resolvePort(match.captured(1).toInt()) : port;
}

QList<int> ratesToTry(const Invocation& call, Console& console, const QList<int>& rates)
{
    if (!line::keepsServerRate(devicePath(call.port)) || rates == QList<int> { call.line.baud })
        return rates;
    console.err << "pwm5ctl: a raw TCP line stays at its server's rate; trying " << call.line.baud
                << " baud only (-b names that rate)" << Qt::endl;
    return { call.line.baud };
}

bool saidServerKeepsRate(const Invocation& call, Console& console, int newRate)
{
    if (!line::keepsServerRate(devicePath(call.port)))
        return false;
    console.err << "pwm5ctl: the module now listens at " << newRate
                << " baud, but a raw TCP line stays at its server's rate: set the server's line "
                   "to "
                << newRate << " baud, then reach the module with -b " << newRate << Qt::endl;
    return true;
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
