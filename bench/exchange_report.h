#pragma once

#include "window_driver.h"

#include <vector>

namespace bench {

// A button the bench clicks, and its name in the table.
struct Command {
    const char* button;
    const char* name;
};

inline constexpr Command kCommands[] = {
    { "Command3", "read all" },
    { "Command2", "write all" },
    { "Command4", "toggle" },
};

// The table's heading for one baud rate.
void printHeader(int baud);

// One row of the table: the command's figures against their targets (the request within 5 ms
// of the click, the status 260 +- 10 ms after the write, the reply complete before the
// status); whether all were met.
bool report(const Command& command, const std::vector<Sample>& samples);

} // namespace bench
