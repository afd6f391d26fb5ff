#pragma once

// What pwm5ctl's exit status tells a script.
namespace cli {

enum ExitCode : int {
    kDone = 0,
    kModuleFault = 1, // no answer, a wrong answer, nothing found, a failed read while monitoring,
                      // a module that differs from the file verify compares it with
    kWrongCall = 2, // the command line is wrong; nothing was sent
    kPortUnusable = 3, // missing, held by another program, permission denied
};

} // namespace cli
