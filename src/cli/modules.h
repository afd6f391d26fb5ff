#pragma once

#include "commands.h"

#include <QJsonObject>

#include <functional>

// Several modules on one line (-a 1-4,17), served one after another by one process that holds
// the line: read, set, apply, verify and monitor.
namespace cli {

// Whether the call serves more than one module: its output then names the module of each line.
inline bool severalModules(const Invocation& call)
{
    return call.modules.size() > 1;
}

// {"address":1,"ok":false,"failure":"no_reply","error":"..."}; an exception also gives its
// "exception_code".
QJsonObject failureJson(int address, const Answer& answer);
// {"ok":false,"failure":"busy","error":"..."}: a failure that is no module's; the kind by its
// JSON name, or one of the line's.
QJsonObject failureJson(const QString& kind, const QString& error);
QJsonObject failureJson(line::Failure failure, const QString& error);

// Says a module's failure: on stderr ("module 3: no reply within 200 ms" when the call serves
// several), and with --json also its line on stdout. Returns the module's exit status.
int failModule(const Invocation& call, Console& console, int address, const Answer& answer,
    const QString& asked = {});

// Says the failure of an answer that is no module's reading (an address or rate change): on
// stderr, and with --json its line on stdout, without an address. Returns the exit status.
int failAnswer(
    const Invocation& call, Console& console, const Answer& answer, const QString& asked = {});

// Opens the call's line, then serves each module of the call in turn with serve, which returns
// the module's exit status. A module that fails does not stop the others; a port that fails,
// or a stop signal, stops them all. The call's status: kDone when every module was served,
// kModuleFault when any failed, kPortUnusable when the port failed.
int serveModules(const Invocation& call, Master& master, Console& console,
    const std::function<int(int address)>& serve);

} // namespace cli
