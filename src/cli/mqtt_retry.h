#pragma once

#include <chrono>
#include <optional>

namespace cli {

// The wait before the connection's next attempt: 1 s after the first failure, doubling to
// 30 s. Only a connection that lasted a keep-alive (30 s) starts it at 1 s again: a broker that
// takes the connection and drops it at once is tried as seldom as one that never answers.
inline constexpr std::chrono::seconds kFirstRetry { 1 };
inline constexpr std::chrono::seconds kLastRetry { 30 };
inline constexpr std::chrono::seconds kSteadyConnection { 30 };

// previous: the wait before the attempt that failed, zero for the first attempt. lasted: how
// long the broker had accepted the connection before it went; nullopt when it never did.
std::chrono::seconds nextRetry(
    std::chrono::seconds previous, std::optional<std::chrono::milliseconds> lasted);

} // namespace cli
