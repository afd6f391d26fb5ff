#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace sim {

// "01 03 00 00": two upper-case digits per byte, one blank between bytes.
std::string hexText(std::span<const std::uint8_t> bytes);

// One line on stdout, flushed at once so that a parent process sees it while we run.
void printLine(const std::string& text);

// The local wall-clock time with milliseconds, to line up with the master's own trace.
std::string clockText();

} // namespace sim
