// pwm5-bridge: pwm5ctl's bridge command in a program of its own, the one that links Qt's
// network library for the TCP faces; `pwm5ctl bridge` becomes this program.

#include "cli/commands.h"
#include "cli/program.h"

int main(int argc, char* argv[])
{
    cli::bridgeInProcess = &cli::runBridge;
    return cli::runProgram(argc, argv);
}
