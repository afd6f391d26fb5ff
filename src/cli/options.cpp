#include "options.h"

#include "device/parameter_value.h"

namespace cli {

namespace {

const QString kCommands = QStringLiteral(R"(
Commands:
  read                 Read all 26 registers in one request and print every parameter.
  set NAME=VALUE ...   Change parameters, one request each, in the order given:
                       pwm_voltage, channel, key_lock, chN.frequency, chN.duty,
                       chN.output (N = 1 to 5). Numbers are plain decimals, without
                       blanks: voltage and duty are rounded as the window rounds them;
                       frequencies and channel take whole numbers (2.0 is one). On/off
                       values are on, off, true, false, 1, 0. A value beyond its range,
                       or a fraction of a whole number, is refused, unless --clamp.
  apply FILE           Write the parameters of a file (- for stdin) in one request of
                       registers 0x0001 to 0x0017: the form read --json prints, script
                       names ("ch1.duty": 25.5), or the changed object apply and set
                       print. Absent keys keep the module's values; address,
                       baud_rate, baud_code and supply_voltage are ignored. Voltage and
                       duty are rounded as the window rounds them, a fraction of a
                       whole number is refused; nothing is written when the module
                       holds every value already.
  verify FILE          Read the module and print each value that differs from the
                       file's (the same forms, rounded and refused the same way); exit
                       1 if any.
  address NEW          Give the module the slave address NEW (1 to 247). Sent to the
                       broadcast address 0: EVERY module on the line takes it. Then
                       reads at NEW to confirm, unless --no-verify.
  baud RATE            Give the module the baud rate RATE, one of
                       %1;
                       then reopen at RATE and confirm with a read, unless
                       --no-verify.
  scan                 Look for modules: read register 0x0000 at each address and
                       rate (--bauds, --addresses); stop at the first, unless --all.
  adopt NEW [RATE]     Find a lone new module at any address and rate in about a
                       second: broadcast address NEW at each of the six rates (EVERY
                       module on the line takes it), then read at NEW at each rate;
                       with RATE, give it that rate as baud does. More than one
                       module answering is a failure: they all have NEW then.
  monitor              Read all every --interval MS until Ctrl+C or --count N rounds:
                       each module's first reading whole, then what changed (--json:
                       every reading; --csv: a row per module per round), and
                       statistics per module at the end.
  bridge BROKER        Put the modules of -a on an MQTT broker, mqtt://[USER@]HOST[:PORT]
                       or mqtts://..., until SIGTERM, SIGINT or SIGHUP (exit 0): P/bridge and
                       P/A/availability say online or offline, P/A/state holds the
                       read --json object (all retained); P/A/set takes a JSON object as
                       apply does, P/A/set/NAME a bare value, each answered on
                       P/A/result. --topic P, --password-file, --ca-file, --discovery.

-a takes a list (1-4,17) for read, set, apply, verify, monitor and bridge: one call serves the
modules in that order, and a module that fails does not stop the others. Several
modules print a column (read) or a block each under its header, a failed module's
too; --json prints one line per module, with "address" and "ok", and "failure" and
"error" for a module that failed. With --json every failure has its line,
{"ok":false,"failure":KIND,"error":TEXT}: for a line that cannot be used missing,
busy, denied, unreachable, refused or unusable, and port when it goes away;
bad_request for a call refused before anything was sent.

The numbers of options and of address, baud and adopt are plain digits: no sign, no
blanks. An error line writes a control character of what it quotes as \xNN (ESC is
\x1b), and cuts a name or a value after 40 characters, not a path; FILE - is stdin.

Replies: complete at the length the request implies, or as a 5-byte exception reply,
starting with the request's address and function, with a valid CRC; a write's reply
echoes it. Bytes waiting before a request are discarded; the first request goes at
once. After a refused or cut frame, a request waits until the line has been quiet for
3.5 characters (at least 16 ms); after an unanswered request, the next one to the same
slave at the same rate, and the end of the program, wait until the line has been quiet
for the timeout, so a late reply never passes for the next one's, in this call or the
next.

Port and rate not given come from com.txt in the working directory (the window's
settings), else COM1 and 9600. COMn is a file or link named COMn in the working
directory, else the n-th serial port of the system. A small text file COMn whose first
line is an address as below stands for that line (echo rfc2217:cabinet-7:4002 > COM3);
a link always names a device.

A line behind a serial device server: -p tcp:HOST:PORT (raw TCP: the frames pass
unchanged, the server keeps its line's settings) or rfc2217:HOST:PORT (RFC 2217: the
far line's rate, parity, data and stop bits are set at every open); an IPv6 host in
brackets, tcp:[::1]:4001. Give -b the far line's rate. On raw TCP, scan and adopt try
only that rate, and baud and adopt's RATE move the module but not the server's line.
Through a server, scan and adopt wait 75 ms per probe unless -t is given.

Exit status: 0 done; 1 the module did not answer or answered wrongly (also: a scan
found nothing, a monitor had a failed read, standard output could not be written); 2
the command line is wrong, nothing was sent; 3 the port could not be used or the
device went away. Ctrl+C, SIGTERM, SIGHUP and a closed pipe end any command at once,
with the port closed and what was done so far printed: exit 130, 143, 129 and 141.)");

QString text(std::string_view view)
{
    return QString::fromLatin1(view.data(), static_cast<qsizetype>(view.size()));
}

// "address baud" as "address, baud" or "address and baud".
QString commandList(const Option& option, const QString& separator)
{
    return text(option.commands).replace(u' ', separator);
}

QCommandLineOption qtOption(const Option& option)
{
    QStringList names { text(option.longName) };
    if (!option.shortName.empty())
        names.prepend(text(option.shortName));
    QCommandLineOption qt(names, helpLine(option), text(option.valueName));
    if (!option.defaultValue.empty())
        qt.setDefaultValue(text(option.defaultValue));
    return qt;
}

} // namespace

QString helpLine(const Option& option)
{
    QString help = text(option.help);
    if (!option.commands.empty())
        help.prepend(commandList(option, QStringLiteral(", ")) + QStringLiteral(": "));
    if (!option.defaultValue.empty())
        help += QStringLiteral(" (default %1)").arg(text(option.defaultValue));
    return help + u'.';
}

std::optional<QString> refusal(const Option& option, const QString& command)
{
    if (option.commands.empty() || text(option.commands).split(u' ').contains(command))
        return std::nullopt;
    return QStringLiteral("--%1 goes with %2 only")
        .arg(text(option.longName), commandList(option, QStringLiteral(" and ")));
}

OptionParser::OptionParser()
{
    parser_.setApplicationDescription(
        QStringLiteral("The five-channel PWM module's own Modbus RTU master, for scripts."));
    for (const Option& option : kOptions)
        options_.push_back(qtOption(option));
    parser_.addOptions({ options_.begin(), options_.end() });
    parser_.addPositionalArgument(QStringLiteral("COMMAND"),
        QStringLiteral("read, set, apply, verify, address, baud, scan, adopt, monitor or bridge."),
        QStringLiteral("COMMAND [ARGUMENTS]"));
}

std::optional<QString> OptionParser::parse(const QStringList& arguments)
{
    if (parser_.parse(arguments))
        return std::nullopt;
    // Qt names an unknown option as it was given, of any length, escape sequences and all. Its
    // other messages name an option of the table ("Missing value after '-a'."), and take the
    // lead, as they do in Qt's own text.
    const QStringList unknown = parser_.unknownOptionNames();
    if (!unknown.isEmpty() && parser_.errorText().startsWith(QLatin1String("Unknown option"))) {
        QStringList names;
        for (const QString& name : unknown)
            names << device::quotedValue(name);
        return unknown.size() == 1
            ? QStringLiteral("unknown option '%1'").arg(names.front())
            : QStringLiteral("unknown options: %1").arg(names.join(QStringLiteral(", ")));
    }
    // Qt words it as a sentence; the other messages are not.
    QString said = device::escapedControls(parser_.errorText());
    said[0] = said[0].toLower();
    if (said.endsWith(u'.'))
        said.chop(1);
    return said;
}

bool OptionParser::isSet(OptionId id) const
{
    return parser_.isSet(options_[static_cast<std::size_t>(id)]);
}

QString OptionParser::value(OptionId id) const
{
    return parser_.value(options_[static_cast<std::size_t>(id)]);
}

QStringList OptionParser::positional() const
{
    return parser_.positionalArguments();
}

std::optional<QString> OptionParser::refusalFor(const QString& command) const
{
    for (const Option& option : kOptions)
        if (isSet(option.id))
            if (auto refused = refusal(option, command))
                return refused;
    return std::nullopt;
}

QString OptionParser::helpText() const
{
    // Qt's usage line names the program by the path it was called with.
    QString usage = parser_.helpText();
    const qsizetype name = usage.indexOf(u' ') + 1;
    const qsizetype options = usage.indexOf(QStringLiteral(" [options]"));
    if (name > 0 && options > name)
        usage.replace(name, options - name, QStringLiteral("pwm5ctl"));
    const device::Parameter& baudRate = device::parameter(device::ParameterId::BaudRate);
    return usage + kCommands.arg(device::rangeText(baudRate)) + u'\n';
}

} // namespace cli
