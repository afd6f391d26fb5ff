#include "commands.h"

#include <array>

namespace cli {

Command commandOf(CommandId id)
{
    // In the order of CommandId.
    static constexpr std::array<Command, kCommands.size()> kRun { readCommand, setCommand,
        applyCommand, verifyCommand, addressCommand, baudCommand, scanCommand, adoptCommand,
        monitorCommand, bridgeCommand };
    return kRun[static_cast<std::size_t>(id)];
}

} // namespace cli
