// bridge in a build without libmosquitto's header: it says so.

#include "commands.h"

namespace cli {

CommandFunction bridgeInProcess = nullptr;

int bridgeCommand(const Invocation&, Console& console)
{
    return console.say(
        Report::plain(kPortUnusable, QStringLiteral("this build has no MQTT bridge")));
}

} // namespace cli
