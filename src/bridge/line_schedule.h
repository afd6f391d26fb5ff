#pragma once

#include "bridge/line_queue.h"
#include "bridge/poll_schedule.h"

#include <chrono>
#include <deque>
#include <vector>

namespace bridge {

// What the line does next, for the bridge that owns it: a request of a face or a command of
// the broker (LineQueue's turn), a poll read (PollSchedule's rounds, one every interval, and
// before them a read of each module written to), or a wait until the next of them falls due.
// Fed events and a clock, it decides alone: the bridge does what it says, one exchange at a time.
class LineSchedule {
public:
    using Instant = PollSchedule::Instant;
    using Source = LineQueue::Source;
    using Ticket = LineQueue::Ticket;

    LineSchedule(const std::vector<int>& addresses, std::chrono::milliseconds interval);

    // A request of a face's connection, or a command (LineQueue::kBroker).
    void add(Source source, LineQueue::Kind kind, Ticket ticket)
    {
        queue_.add(source, kind, ticket);
    }
    std::vector<Ticket> drop(Source source) { return queue_.drop(source); }
    bool full(Source source) const { return queue_.full(source); }

    // What a read of the module came to, whoever asked for it.
    void answered(int address) { poll_.answered(address); }
    void failed(int address, Instant now) { poll_.failed(address, now); }
    bool offline(int address) const { return poll_.offline(address); }
    // A write reached the module: it is read before any other poll read.
    void written(int address);
    // The line went: the round in progress ends; the next starts when the line is back.
    void lineLost() { round_.clear(); }

    struct Step {
        enum What { Request, Poll, Wait } what = Wait;
        Source source = 0; // Request
        Ticket ticket = 0; // Request
        int address = 0; // Poll
        std::chrono::milliseconds wait {}; // Wait: until something falls due, if nothing comes
    };
    // While the line is away (polling false) only requests are served: they fail at once.
    Step next(Instant now, bool polling = true);
    // The request last given needed no exchange: the poll does not take a turn for it.
    void servedWithoutLine() { queue_.servedWithoutLine(); }

private:
    bool pollDue(Instant now, bool polling);

    LineQueue queue_;
    PollSchedule poll_;
    std::chrono::milliseconds interval_;
    std::deque<int> refresh_; // modules written to, to be read first
    std::deque<int> round_; // the round in progress
    std::optional<Instant> roundStart_;
};

} // namespace bridge
