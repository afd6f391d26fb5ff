#include "mqtt_retry.h"

#include <algorithm>

namespace cli {

std::chrono::seconds nextRetry(
    std::chrono::seconds previous, std::optional<std::chrono::milliseconds> lasted)
{
    if ((lasted && *lasted >= kSteadyConnection) || previous <= std::chrono::seconds::zero())
        return kFirstRetry;
    return std::min(previous * 2, kLastRetry);
}

} // namespace cli
