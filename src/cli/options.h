#pragma once

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
};

struct Option {
    OptionId id;
    std::string_view shortName; // empty when there is none
    std::string_view longName;
    std::string_view valueName; // empty for a switch
    std::string_view help; // without its full stop, nor the default and the commands
    std::string_view defaultValue; // empty when there is none, or the command decides it
    std::string_view commands; // those that take it, blank-separated; empty for every one
};

inline constexpr auto kOptions = std::to_array<Option>({
    { OptionId::Port, "p", "port", "PORT",
        "COMn, a device path such as /dev/ttyUSB0, or a device server's tcp:HOST:PORT or "
        "rfc2217:HOST:PORT",
        "", "" },
    { OptionId::Baud, "b", "baud", "RATE", "The line's baud rate", "", "" },
    { OptionId::Parity, "", "parity", "PARITY", "none, odd or even", "none", "" },
    { OptionId::DataBits, "", "data-bits", "BITS", "8, 7 or 6", "8", "" },
    { OptionId::StopBits, "", "stop-bits", "BITS", "1 or 2", "1", "" },
    { OptionId::Address, "a", "address", "N",
        "The module's slave address, 1 to 247; for read, set, apply, verify, monitor and bridge "
        "a list such as 1-4,17",
        "1", "" },
    { OptionId::Timeout, "t", "timeout", "MS",
        "How long the module may take to begin its reply after the request has left, in ms "
        "(default 200; 25 for scan and adopt, 75 for those through a device server). A reply "
        "that has begun gets its transfer time on top",
        "", "" },
    { OptionId::Json, "", "json", "", "Machine-readable output on stdout", "", "" },
    { OptionId::Verbose, "v", "verbose", "", "Each frame as hex on stderr (send:, recv:)", "", "" },
    { OptionId::Help, "h", "help", "", "This text", "", "" },
    { OptionId::Version, "", "version", "", "The version", "", "" },
    { OptionId::Clamp, "", "clamp", "",
        "take values as the window does: clamp one beyond its range, round a fraction of a whole "
        "number",
        "", "set" },
    { OptionId::NoVerify, "", "no-verify", "", "do not read back to confirm", "", "address baud" },
    { OptionId::Bauds, "", "bauds", "LIST", "the rates to try (default all six, --baud first)", "",
        "scan" },
    { OptionId::Addresses, "", "addresses", "RANGE", "the addresses to try, e.g. 1-10,17", "1-247",
        "scan" },
    { OptionId::All, "", "all", "", "go on after the first module found", "", "scan" },
    { OptionId::Interval, "", "interval", "MS", "ms from one read (round) to the next", "1000",
        "monitor bridge" },
    { OptionId::Count, "", "count", "N", "stop after N rounds (default: at Ctrl+C)", "",
        "monitor" },
    { OptionId::Csv, "", "csv", "",
        "one CSV row per module per round on stdout, statistics on stderr", "", "monitor" },
    { OptionId::Settle, "", "settle", "MS",
        "ms to wait after each broadcast, beyond the frame and an echo of it", "10", "adopt" },
    { OptionId::Topic, "", "topic", "PREFIX",
        "the prefix of the topics (default pwm5/ and the port's name)", "", "bridge" },
    { OptionId::PasswordFile, "", "password-file", "FILE",
        "the broker's password: the file's first line", "", "bridge" },
    { OptionId::CaFile, "", "ca-file", "FILE",
        "the CA certificates (PEM) the broker's must verify against (default: the system's)", "",
        "bridge" },
    { OptionId::Discovery, "", "discovery", "", "publish Home Assistant discovery configs", "",
        "bridge" },
    { OptionId::DiscoveryPrefix, "", "discovery-prefix", "PREFIX", "where the discovery configs go",
        "homeassistant", "bridge" },
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
std::optional<QString> refusal(const Option& option, const QString& command);

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
    std::optional<QString> refusalFor(const QString& command) const;

    // The usage, the options and the commands, as --help prints them.
    QString helpText() const;

private:
    QCommandLineParser parser_;
    std::vector<QCommandLineOption> options_; // in the order of kOptions
};

} // namespace cli
