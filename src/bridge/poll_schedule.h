#pragma once

#include <chrono>
#include <optional>
#include <vector>

namespace bridge {

// Which modules the bridge reads in a round. A module that answers is read in every round; one
// that stopped answering (three failed reads in a row, or its first read when it never
// answered) is offline, and is probed once every 10 s at the most, and at most one offline
// module in a round: a list of 247 addresses with two modules present keeps the two modules'
// rounds whatever the others do. Time is an argument: the caller's clock, read in ms.
class PollSchedule {
public:
    using Instant = std::chrono::milliseconds;

    static constexpr std::chrono::milliseconds kOfflineRetry { 10'000 };
    static constexpr int kFailedReadsOffline = 3;

    explicit PollSchedule(const std::vector<int>& addresses);

    // The addresses to read in a round that starts now, in list order; an offline module that
    // is due comes last, the one that has waited longest.
    std::vector<int> round(Instant now) const;
    // How long until an offline module falls due: nothing when none is offline.
    std::optional<std::chrono::milliseconds> untilProbe(Instant now) const;

    void answered(int address);
    void failed(int address, Instant now);

    bool offline(int address) const;

private:
    struct Module {
        int address;
        bool answeredOnce = false;
        int failedReads = 0;
        Instant lastProbe {};
    };
    const Module* find(int address) const;
    Module* find(int address);
    bool isOffline(const Module& m) const;

    std::vector<Module> modules_;
};

} // namespace bridge
