#pragma once

#include <chrono>

// The exchange bench's one clock: the clicks, the relay's stamps and the status text all read it.
namespace bench {

using Clock = std::chrono::steady_clock;

inline double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

} // namespace bench
