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
        return console.fail(kPortUnusable, QStringLiteral("%1: %2").arg(device, *why));
    return kDone;
}

std::uint16_t firstRegister(const QByteArray& reply)
{
    // Address, function and byte count come first; the register follows, high byte first.
    return static_cast<std::uint16_t>(
        static_cast<std::uint8_t>(reply[3]) << 8 | static_cast<std::uint8_t>(reply[4]));
}

Command commandNamed(const QString& name)
{
    const std::pair<const char*, Command> commands[] = {
        { "read", readCommand },
        { "set", setCommand },
        { "apply", applyCommand },
        { "address", addressCommand },
        { "baud", baudCommand },
        { "scan", scanCommand },
        { "monitor", monitorCommand },
    };
    for (const auto& [known, command] : commands)
        if (name == QLatin1String(known))
            return command;
    return nullptr;
}

} // namespace cli
