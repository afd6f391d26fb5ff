#pragma once

#include "call_master.h"
#include "console.h"
#include "exit_code.h"
#include "invocation.h"
#include "result.h"
#include "stop_signals.h"

#include "device/reply_decoder.h"

#include <QString>

namespace cli {

using line::Answer;
using line::Master;

// Each command returns the exit status.
using Command = int (*)(const Invocation& call, Console& console);

// What the command does.
Command commandOf(CommandId id);

// The rates to try of those given: on a raw TCP line only the one its server keeps, the
// line's -b, with a note on stderr when that leaves rates out.
QList<int> ratesToTry(const Invocation& call, Console& console, const QList<int>& rates);
// On a raw TCP line a module moved to another rate is out of reach until the server's line
// follows: says so on stderr and returns true there; false on any other line.
bool saidServerKeepsRate(const Invocation& call, Console& console, int newRate);

// Opens the call's line at the given rate: kDone, or the failure said (a line that cannot be
// used: kPortUnusable; a stop says nothing of its own: kModuleFault).
int openLine(const Invocation& call, Master& master, Console& console, int baud);
// The open line at another rate, on the same line where the transport allows it.
int changeRate(const Invocation& call, Master& master, Console& console, int baud);

// Reads one module whole: its reading, or the module's exit status, its failure said.
StatusOr<device::Reading> readModule(
    const Invocation& call, Master& master, Console& console, int address);

// "module 2" ahead of a module's text lines when the call serves several.
void printModuleHeader(const Invocation& call, Console& console, int address);

// The arguments of address, baud and adopt: a NEW address 1 to 247, and a RATE of the module's
// as its baud-rate code; or the line that says what is wrong with it.
Result<int> newAddressArgument(const QString& text);
Result<device::Units> baudCodeArgument(const QString& text);

// scan and baud read one register back.

int readCommand(const Invocation& call, Console& console);
int setCommand(const Invocation& call, Console& console);
int applyCommand(const Invocation& call, Console& console);
int verifyCommand(const Invocation& call, Console& console);
int addressCommand(const Invocation& call, Console& console);
int baudCommand(const Invocation& call, Console& console);
int scanCommand(const Invocation& call, Console& console);
int adoptCommand(const Invocation& call, Console& console);
int monitorCommand(const Invocation& call, Console& console);
int bridgeCommand(const Invocation& call, Console& console);

// The bridge run in this process: pwm5-bridge sets it before it runs the call; in pwm5ctl it
// stays empty, and bridgeCommand hands the call over to pwm5-bridge.
using CommandFunction = int (*)(const Invocation& call, Console& console);
extern CommandFunction bridgeInProcess;

} // namespace cli
