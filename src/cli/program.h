#pragma once

namespace cli {

// pwm5ctl's whole run: the call parsed, its command run, its output checked, its exit status.
int runProgram(int argc, char* argv[]);

// The bridge's command, run in this process (pwm5-bridge's).
struct Invocation;
struct Console;
int runBridge(const Invocation& call, Console& console);

} // namespace cli
