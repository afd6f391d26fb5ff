#include "line_schedule.h"

#include <algorithm>

namespace bridge {

LineSchedule::LineSchedule(const std::vector<int>& addresses, std::chrono::milliseconds interval)
    : poll_(addresses)
    , interval_(interval)
{
}

void LineSchedule::written(int address)
{
    if (std::ranges::find(refresh_, address) == refresh_.end())
        refresh_.push_back(address);
}

// A round starts once the last has ended and the interval since its start has passed.
bool LineSchedule::pollDue(Instant now, bool polling)
{
    if (!polling)
        return false;
    if (round_.empty() && (!roundStart_ || now - *roundStart_ >= interval_)) {
        const std::vector<int> reads = poll_.round(now);
        if (!reads.empty()) {
            roundStart_ = now;
            round_.assign(reads.begin(), reads.end());
        }
    }
    return !refresh_.empty() || !round_.empty();
}

LineSchedule::Step LineSchedule::next(Instant now, bool polling)
{
    const LineQueue::Next next = queue_.next(pollDue(now, polling));
    if (next.what == LineQueue::Next::Request)
        return { Step::Request, next.source, next.ticket };
    if (next.what == LineQueue::Next::Poll) {
        std::deque<int>& from = refresh_.empty() ? round_ : refresh_;
        const int address = from.front();
        from.pop_front();
        // A module read for its write is not read again in the same round.
        if (&from == &refresh_)
            std::erase(round_, address);
        return { Step::Poll, 0, 0, address };
    }
    // Nothing to do: until the next round, or, when it would read nothing, the next probe.
    std::chrono::milliseconds wait = roundStart_
        ? std::max(interval_ - (now - *roundStart_), std::chrono::milliseconds::zero())
        : std::chrono::milliseconds::zero();
    if (poll_.round(now + wait).empty())
        wait = std::max(wait, poll_.untilProbe(now).value_or(PollSchedule::kOfflineRetry));
    return { Step::Wait, 0, 0, 0, wait };
}

} // namespace bridge
