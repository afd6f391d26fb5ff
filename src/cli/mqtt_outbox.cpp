#include "mqtt_outbox.h"

#include <algorithm>

namespace cli {

namespace {

bool sameRetainedTopic(const Publication& a, const Publication& b)
{
    return a.retain && b.retain && a.topic == b.topic;
}

} // namespace

void MqttOutbox::add(Publication publication)
{
    if (publication.retain) {
        const auto older = std::ranges::find_if(
            waiting_, [&](const Publication& p) { return sameRetainedTopic(p, publication); });
        if (older != waiting_.end()) {
            *older = std::move(publication);
            return;
        }
    }
    waiting_.push_back(std::move(publication));
}

const Publication* MqttOutbox::next() const
{
    return waiting_.empty() || inFlight_.size() >= kMostInFlight ? nullptr : &waiting_.front();
}

void MqttOutbox::handed(int messageId)
{
    if (waiting_.empty())
        return;
    inFlight_.push_back({ messageId, std::move(waiting_.front()) });
    waiting_.pop_front();
}

std::optional<Publication> MqttOutbox::acknowledged(int messageId)
{
    const auto found = std::ranges::find_if(
        inFlight_, [messageId](const Handed& h) { return h.messageId == messageId; });
    if (found == inFlight_.end())
        return std::nullopt;
    Publication publication = std::move(found->publication);
    inFlight_.erase(found);
    return publication;
}

void MqttOutbox::connectionLost()
{
    std::deque<Publication> again;
    for (auto h = inFlight_.begin(); h != inFlight_.end(); ++h) {
        const auto replaces
            = [&](const Publication& p) { return sameRetainedTopic(p, h->publication); };
        const bool newer = std::any_of(std::next(h), inFlight_.end(), [&](const Handed& later) {
            return replaces(later.publication);
        }) || std::ranges::any_of(waiting_, replaces);
        if (!newer)
            again.push_back(std::move(h->publication));
    }
    inFlight_.clear();
    waiting_.insert(waiting_.begin(), std::make_move_iterator(again.begin()),
        std::make_move_iterator(again.end()));
}

std::size_t MqttOutbox::unsentResults() const
{
    const auto result = [](const Publication& p) { return !p.retain; };
    return static_cast<std::size_t>(std::ranges::count_if(waiting_, result)
        + std::ranges::count_if(inFlight_, [&](const Handed& h) { return result(h.publication); }));
}

} // namespace cli
