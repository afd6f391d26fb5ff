#pragma once

#include "clock.h"
#include "pty_pair.h"

#include <QString>

#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

#include <termios.h>

namespace bench {

// What the relay saw of one exchange.
struct LineRecord {
    std::optional<Clock::time_point> written; // the request's first byte left the window
    std::optional<Clock::time_point> requestAtSimulator; // ... and reached the simulator
    std::optional<Clock::time_point> replyStart;
    std::optional<Clock::time_point> replyEnd;
    int requestBytes = 0;
    int replyBytes = 0;
};

// A line between the window and the simulator. A pseudo-terminal delivers a write at once;
// the relay holds each request byte back for one character time at the speed the window set,
// as a real line does (the simulator paces its replies itself).
class Relay {
public:
    Relay() = default;
    ~Relay();
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    // simulatorLine: the simulator's pseudo-terminal (the path it prints when ready).
    bool start(const QString& simulatorLine, QString& error);

    bool realTime() const { return fifo_; }

    // The path the window opens, as its COM1.
    QString linePath() const { return window_.slavePath(); }

    // Forget the last exchange; the next bytes belong to a new one.
    void arm();
    LineRecord record() const;

private:
    void run();
    // The simulator judges and paces by the speed of its own terminal; returns the window's
    // character time.
    Clock::duration passLineSettings();

    // The window's end; its slave stays open, so the device side never reads EIO while the
    // window's port is closed.
    PtyPair window_;
    int simulator_ = -1;
    speed_t speed_ = B0;
    bool fifo_ = false;
    std::atomic<bool> stop_ { false };
    std::thread thread_;
    mutable std::mutex mutex_;
    LineRecord record_;
};

} // namespace bench
