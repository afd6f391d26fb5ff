#pragma once

#include "commands.h"

#include <functional>

// Several modules on one line (-a 1-4,17), served one after another by one process that holds
// the line: read, set, apply, verify and monitor.
namespace cli {

// Whether the call serves more than one module: its output then names the module of each line.
inline bool severalModules(const Invocation& call)
{
    return call.modules.size() > 1;
}

// A module's failed answer, after what was asked of it; the terminal names the module
// ("module 3: ch1.duty: bad CRC") when the call serves several.
inline Report moduleReport(
    const Invocation& call, int address, const Answer& answer, const QString& asked = {})
{
    return Report::ofAnswer(answer, asked, Report::Module { address, severalModules(call) });
}

// Opens the call's line, then serves each module of the call in turn with serve, which returns
// the module's exit status. A module that fails does not stop the others; a port that fails,
// or a stop signal, stops them all. The call's status: kDone when every module was served,
// kModuleFault when any failed, kPortUnusable when the port failed.
// A bridge that serves the line never lets a module be moved off it (its address, its rate):
// that changes on the port itself, with the bridge stopped. A failed move through a network
// line, which may be a bridge's face, says so.
Report movesRefusedByBridge(const Invocation& call, Report report);

int serveModules(const Invocation& call, Master& master, Console& console,
    const std::function<int(int address)>& serve);

} // namespace cli
