#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace sim {

// "01 03 00 00": two upper-case digits per byte, one blank between bytes.
std::string hexText(std::span<const std::uint8_t> bytes);

// The modules by their addresses, in the order given: "slave 3", "slaves 1, 1", "slaves 1-8";
// three or more addresses in a row as a range.
std::string moduleNames(std::span<const int> addresses);

// One line on stdout, flushed at once so that a parent process sees it while we run.
void printLine(const std::string& text);

// The local wall-clock time with milliseconds, to line up with the master's own trace.
std::string clockText();

} // namespace sim
