#pragma once

#include "command_table.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <string_view>
#include <vector>

// pwm5ctl's options: one table, from which the parser, the help and the refusal of an option
// given to a command that does not take it are made.
namespace cli {

enum class OptionId {
    Port,
    Baud,
    Parity,
    DataBits,
    StopBits,
    Address,
    Timeout,
    Json,
    Verbose,
    Help,
    Version,
    Clamp,
    NoVerify,
    Bauds,
    Addresses,
    All,
    Interval,
    Count,
    Csv,
    Settle,
    Topic,
    PasswordFile,
    CaFile,
    Discovery,
    DiscoveryPrefix,
    ModbusTcp,
    RtuTcp,
    Allow,
    MaxClients,
    MaxAge,
    ReadOnly,
};

struct Option {
    OptionId id;
    std::string_view shortName; // empty when there is none
    std::string_view longName;
    std::string_view valueName; // empty for a switch
    // Without its full stop, nor the default and the commands; %1 in -a's stands for the commands
    // that serve a list, in -t's for those that probe.
    std::string_view help;
    std::string_view defaultValue; // empty when there is none, or the command decides it
    CommandSet commands; // those that take it; none for every one
};

inline constexpr auto kOptions = std::to_array<Option>({
    { OptionId::Port, "p", "port", "PORT",
        "COMn, a device path such as /dev/ttyUSB0, or a device server's tcp:HOST:PORT or "
        "rfc2217:HOST:PORT",
        "", {} },
    { OptionId::Baud, "b", "baud", "RATE", "The line's baud rate", "", {} },
    { OptionId::Parity, "", "parity", "PARITY", "none, odd or even", "none", {} },
    { OptionId::DataBits, "", "data-bits", "BITS", "8, 7 or 6", "8", {} },
    { OptionId::StopBits, "", "stop-bits", "BITS", "1 or 2", "1", {} },
    { OptionId::Address, "a", "address", "N",
        "The module's slave address, 1 to 247; for %1 a list such as 1-4,17", "1", {} },
    { OptionId::Timeout, "t", "timeout", "MS",
        "How long the module may take to begin its reply after the request has left, in ms "
        "(default 200; 25 for %1, 75 for those through a device server). A reply "
        "that has begun gets its transfer time on top",
        "", {} },
    { OptionId::Json, "", "json", "", "Machine-readable output on stdout", "", {} },
    { OptionId::Verbose, "v", "verbose", "", "Each frame as hex on stderr (send:, recv:)", "", {} },
    { OptionId::Help, "h", "help", "", "This text", "", {} },
    { OptionId::Version, "", "version", "", "The version", "", {} },
    { OptionId::Clamp, "", "clamp", "",
        "take values as the window does: clamp one beyond its range, round a fraction of a whole "
        "number",
        "", { CommandId::Set } },
    { OptionId::NoVerify, "", "no-verify", "", "do not read back to confirm", "",
        { CommandId::Address, CommandId::Baud } },
    { OptionId::Bauds, "", "bauds", "LIST", "the rates to try (default all six, --baud first)", "",
        { CommandId::Scan } },
    { OptionId::Addresses, "", "addresses", "RANGE", "the addresses to try, e.g. 1-10,17", "1-247",
        { CommandId::Scan } },
    { OptionId::All, "", "all", "", "go on after the first module found", "", { CommandId::Scan } },
    { OptionId::Interval, "", "interval", "MS", "ms from one read (round) to the next", "1000",
        { CommandId::Monitor, CommandId::Bridge } },
    { OptionId::Count, "", "count", "N", "stop after N rounds (default: at Ctrl+C)", "",
        { CommandId::Monitor } },
    { OptionId::Csv, "", "csv", "",
        "one CSV row per module per round on stdout, statistics on stderr", "",
        { CommandId::Monitor } },
    { OptionId::Settle, "", "settle", "MS",
        "ms to wait after each broadcast, beyond the frame and an echo of it", "10",
        { CommandId::Adopt } },
    { OptionId::Topic, "", "topic", "PREFIX",
        "the prefix of the topics (default pwm5/ and the port's name)", "", { CommandId::Bridge } },
    { OptionId::PasswordFile, "", "password-file", "FILE",
        "the broker's password: the file's first line", "", { CommandId::Bridge } },
    { OptionId::CaFile, "", "ca-file", "FILE",
        "the CA certificates (PEM) the broker's must verify against (default: the system's)", "",
        { CommandId::Bridge } },
    { OptionId::Discovery, "", "discovery", "", "publish Home Assistant discovery configs", "",
        { CommandId::Bridge } },
    { OptionId::DiscoveryPrefix, "", "discovery-prefix", "PREFIX", "where the discovery configs go",
        "homeassistant", { CommandId::Bridge } },
    { OptionId::ModbusTcp, "", "modbus-tcp", "[HOST:]PORT",
        "serve the line to Modbus TCP clients (HOST default 127.0.0.1)", "",
        { CommandId::Bridge } },
    { OptionId::RtuTcp, "", "rtu-tcp", "[HOST:]PORT",
        "serve the line as RTU frames over TCP, as tcp:HOST:PORT reads it", "",
        { CommandId::Bridge } },
    { OptionId::Allow, "", "allow", "CIDR,...",
        "the client addresses the faces accept (default the loopback ones)", "",
        { CommandId::Bridge } },
    { OptionId::MaxClients, "", "max-clients", "N", "connections a face takes at once", "16",
        { CommandId::Bridge } },
    { OptionId::MaxAge, "", "max-age", "MS",
        "answer a face's read from the last poll when no older (default: always the line)", "",
        { CommandId::Bridge } },
    { OptionId::ReadOnly, "", "read-only", "", "refuse every write through the faces", "",
        { CommandId::Bridge } },
});

constexpr bool inIdOrder()
{
    for (std::size_t i = 0; i < kOptions.size(); ++i)
        if (kOptions[i].id != static_cast<OptionId>(i))
            return false;
    return true;
}
static_assert(inIdOrder(), "kOptions holds each option at the place of its id");

// "scan: the addresses to try, e.g. 1-10,17 (default 1-247)."
QString helpLine(const Option& option);

// "--bauds goes with scan only" when the command does not take the option; nothing when it does.
std::optional<QString> refusal(const Option& option, CommandId command);

// The names of the commands that have the property, in the table's order, the last two joined
// by the word: "scan and adopt".
QString commandNames(bool CommandEntry::*property, const QString& lastJoin);

// Qt's parser, fed from kOptions: it splits the arguments and lays out the help.
class OptionParser {
public:
    OptionParser();

    // Why the arguments do not fit the table ("unknown option 'x'"), or nothing.
    std::optional<QString> parse(const QStringList& arguments);

    bool isSet(OptionId id) const;
    QString value(OptionId id) const; // the default when the option is not set
    QStringList positional() const;

    // The first option given that the command does not take, refused.
    std::optional<QString> refusalFor(CommandId command) const;

    // The usage, the options and the commands, as --help prints them.
    QString helpText() const;

private:
    QCommandLineParser parser_;
    std::vector<QCommandLineOption> options_; // in the order of kOptions
};

} // namespace cli
