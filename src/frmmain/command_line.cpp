#include "command_line.h"

StartupRequest startupRequest(const QStringList& arguments)
{
    // Qt's own options (-platform, -style, ...) are refused too: QT_QPA_PLATFORM and the
    // other variables still choose what they choose.
    if (arguments.isEmpty())
        return {};
    const QString& first = arguments.first();
    if (arguments.size() == 1 && (first == QLatin1String("--help") || first == QLatin1String("-h")))
        return { StartupRequest::Help,
            QStringLiteral(
                "usage: pwm5 [--help | --version]\n"
                "\n"
                "The operator console of a five-channel PWM generator module: a Modbus RTU\n"
                "master on a serial line, in one window. The port, its settings and the\n"
                "module's slave address are chosen in the window, so pwm5 takes no other\n"
                "arguments.\n"
                "\n"
                "The working directory holds com.txt (the last port and baud rate) and the\n"
                "COMn links that pin a port number to a device; pwm5-launch starts the window\n"
                "in ~/.local/share/pwm5 for that reason.\n"
                "\n"
                "  -h, --help     show this text and exit\n"
                "  --version      print the version and exit\n"
                "\n"
                "See also pwm5ctl(1) for scripts and pwm5-sim(1) for a module without "
                "hardware.\n") };
    if (arguments.size() == 1 && first == QLatin1String("--version"))
        return { StartupRequest::Version, QStringLiteral("pwm5 " PWM5_VERSION "\n") };
    // --help and --version stand alone: after one of them, the next argument is the wrong one.
    const bool known = first == QLatin1String("--help") || first == QLatin1String("-h")
        || first == QLatin1String("--version");
    const QString& wrong = known ? arguments.at(1) : first;
    return { StartupRequest::Refuse,
        QStringLiteral("pwm5: unexpected argument '%1' (pwm5 takes only --help or --version)\n")
            .arg(wrong) };
}

QString noDisplayLine(const QStringList& platformWarnings, const QString& display)
{
    QString why;
    if (display.isEmpty()
        && platformWarnings.value(0).startsWith(QLatin1String("could not connect")))
        why = QStringLiteral("DISPLAY is not set");
    else if (!platformWarnings.isEmpty())
        why = platformWarnings.first();
    else
        why = QStringLiteral("no Qt platform plugin could start");
    return QStringLiteral("pwm5: no usable display: %1\n").arg(why);
}
