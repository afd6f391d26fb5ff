#include "options.h"

#include "device/parameter_value.h"
#include "text/quoted_text.h"

namespace cli {

namespace {

// What --help says after the commands.
const QString kNotes = QStringLiteral(R"(
-a takes a list (1-4,17) for %1: one call serves the
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

// The names of the commands in the set, in the table's order: "address, baud" or "address and
// baud".
QString commandList(CommandSet commands, const QString& separator)
{
    QStringList names;
    for (const CommandEntry& entry : kCommands)
        if (commands.contains(entry.id))
            names << text(entry.name);
    return names.join(separator);
}

// "read, set or bridge": the names joined by commas, the last two by the word.
QString wordList(QStringList names, const QString& lastJoin)
{
    const QString last = names.size() > 1 ? names.takeLast() : QString();
    return last.isEmpty() ? names.join(QStringLiteral(", "))
                          : names.join(QStringLiteral(", ")) + lastJoin + last;
}

QString allCommandNames(const QString& lastJoin)
{
    QStringList names;
    for (const CommandEntry& entry : kCommands)
        names << text(entry.name);
    return wordList(names, lastJoin);
}

// Each command's synopsis, and its help in a column beside it.
QString commandsHelp()
{
    constexpr qsizetype kSynopsisWidth = 21;
    QString help = QStringLiteral("\nCommands:\n");
    for (const CommandEntry& entry : kCommands) {
        const QStringList lines = text(entry.help).split(u'\n');
        help += QStringLiteral("  ") + text(entry.synopsis).leftJustified(kSynopsisWidth)
            + lines.front() + u'\n';
        for (qsizetype i = 1; i < lines.size(); ++i)
            help += QString(kSynopsisWidth + 2, u' ') + lines[i] + u'\n';
    }
    return help;
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
    if (option.id == OptionId::Address)
        help = help.arg(commandNames(&CommandEntry::servesList, QStringLiteral(" and ")));
    else if (option.id == OptionId::Timeout)
        help = help.arg(commandNames(&CommandEntry::probes, QStringLiteral(" and ")));
    if (!option.commands.empty())
        help.prepend(commandList(option.commands, QStringLiteral(", ")) + QStringLiteral(": "));
    if (!option.defaultValue.empty())
        help += QStringLiteral(" (default %1)").arg(text(option.defaultValue));
    return help + u'.';
}

std::optional<QString> refusal(const Option& option, CommandId command)
{
    if (option.commands.empty() || option.commands.contains(command))
        return std::nullopt;
    return QStringLiteral("--%1 goes with %2 only")
        .arg(text(option.longName), commandList(option.commands, QStringLiteral(" and ")));
}

QString commandNames(bool CommandEntry::*property, const QString& lastJoin)
{
    QStringList names;
    for (const CommandEntry& entry : kCommands)
        if (entry.*property)
            names << text(entry.name);
    return wordList(names, lastJoin);
}

OptionParser::OptionParser()
{
    parser_.setApplicationDescription(
        QStringLiteral("The five-channel PWM module's own Modbus RTU master, for scripts."));
    for (const Option& option : kOptions)
        options_.push_back(qtOption(option));
    parser_.addOptions({ options_.begin(), options_.end() });
    parser_.addPositionalArgument(QStringLiteral("COMMAND"),
        allCommandNames(QStringLiteral(" or ")) + u'.', QStringLiteral("COMMAND [ARGUMENTS]"));
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
            names << quoting::quotedValue(name);
        return unknown.size() == 1
            ? QStringLiteral("unknown option '%1'").arg(names.front())
            : QStringLiteral("unknown options: %1").arg(names.join(QStringLiteral(", ")));
    }
    // Qt words it as a sentence; the other messages are not.
    QString said = quoting::escapedControls(parser_.errorText());
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

std::optional<QString> OptionParser::refusalFor(CommandId command) const
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
    return usage + commandsHelp().arg(device::rangeText(baudRate))
        + kNotes.arg(commandNames(&CommandEntry::servesList, QStringLiteral(" and "))) + u'\n';
}

} // namespace cli
