#include "line_queue.h"

#include <algorithm>

namespace bridge {

void LineQueue::add(Source source, Kind kind, Ticket ticket)
{
    queues_[source].push_back({ kind, ticket });
    if (kind == Kind::Write)
        writes_.push_back(ticket);
}

std::vector<LineQueue::Ticket> LineQueue::drop(Source source)
{
    std::vector<Ticket> dropped;
    const auto found = queues_.find(source);
    if (found == queues_.end())
        return dropped;
    for (const Request& request : found->second) {
        dropped.push_back(request.ticket);
        if (request.kind == Kind::Write)
            writes_.erase(std::ranges::find(writes_, request.ticket));
    }
    queues_.erase(found);
    return dropped;
}

std::size_t LineQueue::waiting(Source source) const
{
    const auto found = queues_.find(source);
    return found == queues_.end() ? 0 : found->second.size();
}

// A read may go whenever it heads its source's queue; a write only when no earlier write waits.
bool LineQueue::eligible(const std::deque<Request>& queue) const
{
    const Request& head = queue.front();
    return head.kind == Kind::Read || head.ticket == writes_.front();
}

// The first source after the last one served, in turn, whose head may go. The source that holds
// the earliest write always may once its reads before the write are served, so one is found
// whenever requests wait.
std::optional<LineQueue::Source> LineQueue::nextSource() const
{
    auto start = lastServed_ ? queues_.upper_bound(*lastServed_) : queues_.begin();
    for (auto it = start; it != queues_.end(); ++it)
        if (eligible(it->second))
            return it->first;
    for (auto it = queues_.begin(); it != start; ++it)
        if (eligible(it->second))
            return it->first;
    return std::nullopt;
}

LineQueue::Next LineQueue::next(bool pollDue)
{
    const std::optional<Source> source = nextSource();
    if (pollDue && (!source || pollsTurn_)) {
        pollsTurn_ = false;
        return { Next::Poll };
    }
    if (!source)
        return {};
    pollsTurn_ = true;
    auto queue = queues_.find(*source);
    const Request request = queue->second.front();
    queue->second.pop_front();
    if (request.kind == Kind::Write)
        writes_.pop_front();
    if (queue->second.empty())
        queues_.erase(queue);
    lastServed_ = *source;
    return { Next::Request, *source, request.ticket };
}

} // namespace bridge
