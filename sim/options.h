#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct Options {
    int port = 1; // the line is linked as COM<port> in the working directory
    // One module per entry, in the order given; an address may come twice, and then two
    // modules answer together.
    std::vector<int> addresses { 1 };
    int baudRate = 9600; // every module's rate at start
    std::uint16_t supplyCentivolts = 1234;
    int delayMs = 5; // from the end of a request to the first reply byte
    bool silentBroadcast = false;

    // Faults injected into every reply.
    bool noReply = false;
    bool badCrc = false;
    int split = 1;
    bool wrongAddress = false;
    std::vector<std::uint8_t> garbage;
    int lateMs = 0;
};

struct ParsedOptions {
    Options options;
    bool showHelp = false;
    bool showVersion = false;
    std::string error; // empty when the command line was understood
};

ParsedOptions parseOptions(int argc, const char* const* argv);
std::string usageText();

} // namespace sim
