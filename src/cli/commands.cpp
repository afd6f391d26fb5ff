#include "commands.h"

#include <utility>

namespace cli {

Command commandNamed(const QString& name)
{
    const std::pair<const char*, Command> commands[] = {
        { "read", readCommand },
        { "set", setCommand },
        { "apply", applyCommand },
        { "verify", verifyCommand },
        { "address", addressCommand },
        { "baud", baudCommand },
        { "scan", scanCommand },
        { "adopt", adoptCommand },
        { "monitor", monitorCommand },
        { "bridge", bridgeCommand },
    };
    for (const auto& [known, command] : commands)
        if (name == QLatin1String(known))
            return command;
    return nullptr;
}

} // namespace cli
