// pwm5-sim: the five-channel PWM module as a Modbus RTU slave on a pseudo-terminal.

#include <cstdio>

#include "exchange_log.h"
#include "options.h"
#include "pty_line.h"
#include "register_file.h"
#include "server.h"
#include "signals.h"

int main(int argc, char** argv)
{
    const sim::ParsedOptions parsed = sim::parseOptions(argc, argv);
    if (parsed.showHelp) {
        std::fputs(sim::usageText().c_str(), stdout);
        return 0;
    }
    if (parsed.showVersion) {
        std::printf("pwm5-sim %s\n", PWM5_VERSION);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "pwm5-sim: %s\n\n%s", parsed.error.c_str(), sim::usageText().c_str());
        return 2;
    }
    const sim::Options& options = parsed.options;
    sim::installSignalHandlers();

    sim::RegisterFile registers(options.supplyCentivolts, options.slaveAddress);
    sim::PtyLine line;
    const std::string linkName = "COM" + std::to_string(options.port);
    std::string error;
    if (!line.open(linkName, registers.baudRate(), error)) {
        std::fprintf(stderr, "pwm5-sim: %s\n", error.c_str());
        return 1;
    }
    sim::Server server(options, line, registers);
    if (!server.ok()) {
        std::fprintf(stderr, "pwm5-sim: cannot set up libmodbus\n");
        return 1;
    }

    sim::printLine("ready " + linkName + " -> " + line.slavePath() + ", slave "
        + std::to_string(registers.slaveAddress()) + " at " + std::to_string(registers.baudRate())
        + " baud");
    while (!sim::stopRequested()) {
        server.serveOnce();
        if (sim::takeTableRequest())
            sim::printLine(registers.table());
    }
    sim::printLine(registers.table());
    return 0;
}
