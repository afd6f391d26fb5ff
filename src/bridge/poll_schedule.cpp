#include "poll_schedule.h"

#include <algorithm>
#include <utility>

namespace bridge {

PollSchedule::PollSchedule(const std::vector<int>& addresses)
{
    for (const int address : addresses)
        modules_.push_back({ address });
}

std::vector<int> PollSchedule::round(Instant now) const
{
    std::vector<int> reads;
    const Module* probe = nullptr;
    for (const Module& m : modules_) {
        if (!isOffline(m))
            reads.push_back(m.address);
        else if (now - m.lastProbe >= kOfflineRetry && (!probe || m.lastProbe < probe->lastProbe))
            probe = &m;
    }
    if (probe)
        reads.push_back(probe->address);
    return reads;
}

std::optional<std::chrono::milliseconds> PollSchedule::untilProbe(Instant now) const
{
    std::optional<std::chrono::milliseconds> soonest;
    for (const Module& m : modules_)
        if (isOffline(m)) {
            const auto wait = std::max(kOfflineRetry - (now - m.lastProbe), Instant::zero());
            soonest = soonest ? std::min(*soonest, wait) : wait;
        }
    return soonest;
}

void PollSchedule::answered(int address)
{
    if (Module* m = find(address)) {
        m->answeredOnce = true;
        m->failedReads = 0;
    }
}

void PollSchedule::failed(int address, Instant now)
{
    if (Module* m = find(address)) {
        ++m->failedReads;
        m->lastProbe = now;
    }
}

bool PollSchedule::offline(int address) const
{
    const Module* m = find(address);
    return m && isOffline(*m);
}

const PollSchedule::Module* PollSchedule::find(int address) const
{
    const auto found = std::ranges::find(modules_, address, &Module::address);
    return found == modules_.end() ? nullptr : &*found;
}

PollSchedule::Module* PollSchedule::find(int address)
{
    return const_cast<Module*>(std::as_const(*this).find(address));
}

bool PollSchedule::isOffline(const Module& m) const
{
    return m.failedReads >= (m.answeredOnce ? kFailedReadsOffline : 1);
}

} // namespace bridge
