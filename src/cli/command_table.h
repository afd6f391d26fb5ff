#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>

// pwm5ctl's commands: one table that the parser, the help, the options' own command lists and
// the dispatch all read. Plain data; what each command does is in commands.cpp.
namespace cli {

enum class CommandId { Read, Set, Apply, Verify, Address, Baud, Scan, Adopt, Monitor, Bridge };

struct CommandEntry {
    CommandId id;
    std::string_view name;
    std::string_view synopsis; // the help's left column: "set NAME=VALUE ..."
    // The help's right column, a line of text each; %1 stands for the module's rates.
    std::string_view help;
    bool servesList; // -a takes a list of modules, served one after another
    bool probes; // tries addresses or rates: a short default timeout
    bool service = false; // SIGTERM, SIGINT and SIGHUP end it in the normal way, with its status
};

inline constexpr auto kCommands = std::to_array<CommandEntry>({
    { CommandId::Read, "read", "read",
        "Read all 26 registers in one request and print every parameter.", true, false },
    { CommandId::Set, "set", "set NAME=VALUE ...",
        "Change parameters, one request each, in the order given:\n"
        "pwm_voltage, channel, key_lock, chN.frequency, chN.duty,\n"
        "chN.output (N = 1 to 5). Numbers are plain decimals, without\n"
        "blanks: voltage and duty are rounded as the window rounds them;\n"
        "frequencies and channel take whole numbers (2.0 is one). On/off\n"
        "values are on, off, true, false, 1, 0. A value beyond its range,\n"
        "or a fraction of a whole number, is refused, unless --clamp.",
        true, false },
    { CommandId::Apply, "apply", "apply FILE",
        "Write the parameters of a file (- for stdin) in one request of\n"
        "registers 0x0001 to 0x0017: the form read --json prints, script\n"
        "names (\"ch1.duty\": 25.5), or the changed object apply and set\n"
        "print. Absent keys keep the module's values; address,\n"
        "baud_rate, baud_code and supply_voltage are ignored. Voltage and\n"
        "duty are rounded as the window rounds them, a fraction of a\n"
        "whole number is refused; nothing is written when the module\n"
        "holds every value already.",
        true, false },
    { CommandId::Verify, "verify", "verify FILE",
        "Read the module and print each value that differs from the\n"
        "file's (the same forms, rounded and refused the same way); exit\n"
        "1 if any.",
        true, false },
    { CommandId::Address, "address", "address NEW",
        "Give the module the slave address NEW (1 to 247). Sent to the\n"
        "broadcast address 0: EVERY module on the line takes it. Then\n"
        "reads at NEW to confirm, unless --no-verify.",
        false, false },
    { CommandId::Baud, "baud", "baud RATE",
        "Give the module the baud rate RATE, one of\n"
        "%1;\n"
        "then reopen at RATE and confirm with a read, unless\n"
        "--no-verify.",
        false, false },
    { CommandId::Scan, "scan", "scan",
        "Look for modules: read register 0x0000 at each address and\n"
        "rate (--bauds, --addresses); stop at the first, unless --all.",
        false, true },
    { CommandId::Adopt, "adopt", "adopt NEW [RATE]",
        "Find a lone new module at any address and rate in about a\n"
        "second: broadcast address NEW at each of the six rates (EVERY\n"
        "module on the line takes it), then read at NEW at each rate;\n"
        "with RATE, give it that rate as baud does. More than one\n"
        "module answering is a failure: they all have NEW then.",
        false, true },
    { CommandId::Monitor, "monitor", "monitor",
        "Read all every --interval MS until Ctrl+C or --count N rounds:\n"
        "each module's first reading whole, then what changed (--json:\n"
        "every reading; --csv: a row per module per round), and\n"
        "statistics per module at the end.",
        true, false },
    { CommandId::Bridge, "bridge", "bridge [BROKER]",
        "Own the line of -a's modules and serve it until SIGTERM, SIGINT or\n"
        "SIGHUP (exit 0): on an MQTT broker, mqtt://[USER@]HOST[:PORT] or\n"
        "mqtts://... (P/bridge and P/A/availability say online or offline,\n"
        "P/A/state holds the read --json object, all retained; P/A/set takes\n"
        "a JSON object as apply does, P/A/set/NAME a bare value, each answered\n"
        "on P/A/result), to Modbus TCP clients (--modbus-tcp) and as RTU over\n"
        "TCP (--rtu-tcp), at least one of the three. --topic P,\n"
        "--password-file, --ca-file, --discovery, --max-age, --read-only.",
        true, false, true },
});

constexpr bool commandsInIdOrder()
{
    for (std::size_t i = 0; i < kCommands.size(); ++i)
        if (kCommands[i].id != static_cast<CommandId>(i))
            return false;
    return true;
}
static_assert(commandsInIdOrder(), "kCommands holds each command at the place of its id");

constexpr const CommandEntry& commandEntry(CommandId id)
{
    return kCommands[static_cast<std::size_t>(id)];
}

// The command of that name, or nothing.
inline std::optional<CommandId> commandIdNamed(QStringView name)
{
    for (const CommandEntry& entry : kCommands)
        if (name == QLatin1String(entry.name.data(), static_cast<qsizetype>(entry.name.size())))
            return entry.id;
    return std::nullopt;
}

// A set of commands, one bit each in the order of CommandId: the commands an option goes with.
class CommandSet {
public:
    constexpr CommandSet() = default; // none: an option every command takes
    constexpr CommandSet(std::initializer_list<CommandId> ids)
    {
        for (const CommandId id : ids)
            bits_ |= bit(id);
    }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr bool contains(CommandId id) const { return (bits_ & bit(id)) != 0; }

private:
    static constexpr std::uint32_t bit(CommandId id)
    {
        return std::uint32_t { 1 } << static_cast<unsigned>(id);
    }
    std::uint32_t bits_ = 0;
};
static_assert(kCommands.size() <= 32, "a CommandSet holds a bit per command");

} // namespace cli
