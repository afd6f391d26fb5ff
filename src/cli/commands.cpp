#include "commands.h"

#include <array>

namespace cli {

namespace {

// What each command of kCommands does, in the order of CommandId. A command left out would be
// nullptr here; tst_cli_values runs every command of the table through commandOf.
constexpr std::array<Command, kCommands.size()> kRun { readCommand, setCommand, applyCommand,
    verifyCommand, addressCommand, baudCommand, scanCommand, adoptCommand, monitorCommand,
    bridgeCommand };

} // namespace

Command commandOf(CommandId id)
{
    return kRun[static_cast<std::size_t>(id)];
}

} // namespace cli
