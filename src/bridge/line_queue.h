#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

namespace bridge {

// Who gets the line next when several wait for it: the requests of the faces' connections, the
// broker's commands and the poll. Each source's requests are served in the order they came,
// sources take turns, and every write (a face's or a command) waits for the writes that came
// before it from any source, so that the module takes them in the order they were given. While
// requests wait, the poll gets every other exchange: a client sending back to back keeps about
// half of the poll's rounds, and a request never waits for more than one poll read.
class LineQueue {
public:
    using Source = int; // a connection's number, from 0; the broker is kBroker
    using Ticket = std::uint64_t; // the caller's name for a request
    static constexpr Source kBroker = -1;
    // A connection with this many requests waiting is not read until one is served.
    static constexpr std::size_t kMostWaiting = 16;

    enum class Kind { Read, Write };

    void add(Source source, Kind kind, Ticket ticket);
    // A connection that closed: its requests go; their tickets.
    std::vector<Ticket> drop(Source source);

    std::size_t waiting(Source source) const;
    bool full(Source source) const { return waiting(source) >= kMostWaiting; }
    bool empty() const { return queues_.empty(); }

    struct Next {
        enum What { Idle, Request, Poll } what = Idle;
        Source source = 0;
        Ticket ticket = 0;
    };
    // What the line does next, taken off the queue: pollDue says whether a poll read waits.
    Next next(bool pollDue);
    // The request last served needed no exchange (it was refused at its turn): the poll's turn
    // is still to come after the next one that does.
    void servedWithoutLine() { pollsTurn_ = false; }

private:
    struct Request {
        Kind kind;
        Ticket ticket;
    };
    bool eligible(const std::deque<Request>& queue) const;
    std::optional<Source> nextSource() const;

    std::map<Source, std::deque<Request>> queues_; // no empty queue is kept
    std::deque<Ticket> writes_; // every waiting write, in the order they came
    std::optional<Source> lastServed_;
    bool pollsTurn_ = false;
};

} // namespace bridge
