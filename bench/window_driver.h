#pragma once

#include "clock.h"
#include "frmmain/frmmain.h"
#include "relay.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>

class QEventLoop;
class QLineEdit;

namespace bench {

// The figures of one exchange, in ms; -1 where the moment was not seen.
struct Sample {
    double clickToRequest = -1;
    double clickToTrace = -1; // the request's hex shown in Text1(0), just before the write
    double clickToWritten = -1; // the relay read the request
    double writeToStatus = -1;
    double writeToReturn = -1; // the slot's blocking send wait
    double returnToStatus = -1; // the reply timer
    double writeToReplyEnd = -1;
    int requestBytes = 0;
    int replyBytes = 0;
    bool good = false;
};

// Clicks the window's buttons as an operator does, and times each exchange from the click,
// the status text and the relay's stamps.
class WindowDriver {
public:
    WindowDriver(frmmain& window, Relay& relay);

    // The window's control of that name; the bench cannot go on without it.
    template <typename T> T* child(const char* name) const
    {
        auto* w = window_.findChild<T*>(QString::fromUtf8(name));
        if (!w) {
            std::fprintf(stderr, "no control %s\n", name);
            std::exit(1);
        }
        return w;
    }

    bool portOpen() const;

    // One click, then the status text, or nothing within two seconds.
    Sample exchange(const char* button);

    static void pause(int ms);

    int messageBoxes() const { return messageBoxes_; }

private:
    frmmain& window_;
    Relay& relay_;
    QLineEdit* status_ = nullptr;
    QEventLoop* waiting_ = nullptr;
    std::optional<Clock::time_point> statusAt_;
    std::optional<Clock::time_point> traceAt_;
    QString statusText_;
    std::minstd_rand random_ { 6 };
    int messageBoxes_ = 0;
};

} // namespace bench
