#include "pacing.h"

#include <cerrno>
#include <ctime>
#include <unistd.h>

#include "signals.h"

namespace sim {

namespace {

constexpr long long kNsPerSecond = 1'000'000'000;

timespec now()
{
    timespec t {};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return t;
}

timespec later(timespec t, long long ns)
{
    ns += t.tv_nsec;
    t.tv_sec += static_cast<time_t>(ns / kNsPerSecond);
    t.tv_nsec = static_cast<long>(ns % kNsPerSecond);
    return t;
}

// Sleeps through SIGUSR1, but not through a request to stop, however late the reply.
bool sleepUntil(const timespec& deadline)
{
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR)
        if (stopRequested())
            return false;
    return true;
}

} // namespace

bool sleepMs(int ms)
{
    return sleepUntil(later(now(), ms * 1'000'000LL));
}

bool sendPaced(int fd, std::span<const std::uint8_t> bytes, const LineSettings& line)
{
    const long long byteNs = line.rate > 0 ? line.bitsPerByte * kNsPerSecond / line.rate : 0;
    const timespec start = now();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (!sleepUntil(later(start, static_cast<long long>(i + 1) * byteNs)))
            return false;
        ssize_t n;
        while ((n = ::write(fd, &bytes[i], 1)) < 0 && errno == EINTR) { }
        if (n != 1)
            return false;
    }
    return true;
}

} // namespace sim
