// pwm5-sim: the five-channel PWM module as a Modbus RTU slave on a pseudo-terminal.

#include <cstdio>
#include <vector>

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

    std::vector<sim::RegisterFile> modules;
    for (int address : options.addresses)
        modules.emplace_back(options.supplyCentivolts, address, options.baudRate);
    sim::PtyLine line;
    const std::string linkName = "COM" + std::to_string(options.port);
    std::string error;
    if (!line.open(linkName, options.baudRate, error)) {
        std::fprintf(stderr, "pwm5-sim: %s\n", error.c_str());
        return 1;
    }
    sim::Server server(options, line, modules);
    if (!server.ok()) {
        std::fprintf(stderr, "pwm5-sim: cannot set up libmodbus\n");
        return 1;
    }

    sim::printLine("ready " + linkName + " -> " + line.slavePath() + ", "
        + sim::moduleNames(options.addresses) + " at " + std::to_string(options.baudRate)
        + " baud");
    const auto printTables = [&modules] {
        for (const sim::RegisterFile& module : modules)
            sim::printLine(module.table());
    };
    while (!sim::stopRequested()) {
        server.serveOnce();
        if (sim::takeTableRequest())
            printTables();
    }
    printTables();
    return 0;
}
