#include "exchange_report.h"

#include "statistics.h"

#include <algorithm>
#include <cstdio>

namespace bench {

void printHeader(int baud)
{
    std::printf("%d baud       click->request (ms)     write->status (ms)         = send wait + "
                "reply timer  write->reply end  request/reply  good  complete\n",
        baud);
}

bool report(const Command& command, const std::vector<Sample>& samples)
{
    std::vector<double> toRequest, toStatus, toReturn, timer, toReplyEnd;
    int good = 0, complete = 0;
    for (const Sample& s : samples) {
        if (s.clickToRequest >= 0)
            toRequest.push_back(s.clickToRequest);
        if (s.writeToStatus >= 0) {
            toStatus.push_back(s.writeToStatus);
            toReturn.push_back(s.writeToReturn);
            timer.push_back(s.returnToStatus);
        }
        if (s.writeToReplyEnd >= 0)
            toReplyEnd.push_back(s.writeToReplyEnd);
        good += s.good ? 1 : 0;
        complete += s.good && s.writeToReplyEnd >= 0 && s.writeToReplyEnd < s.writeToStatus ? 1 : 0;
    }
    const Stats r = statsOf(toRequest), st = statsOf(toStatus), w = statsOf(toReturn),
                t = statsOf(timer), e = statsOf(toReplyEnd);
    const int n = static_cast<int>(samples.size());
    const bool requestOk = static_cast<int>(toRequest.size()) == n && r.max <= 5.0;
    const bool statusOk = static_cast<int>(toStatus.size()) == n && st.min >= 250 && st.max <= 270;
    const bool completeOk = complete == n;
    std::printf("  %-10s %5.2f [%5.2f..%5.2f] %-4s  %6.1f [%5.1f..%5.1f] %-4s  %5.1f + %5.1f "
                "[%5.1f..%5.1f]  %5.1f [..%5.1f] %3d/%-3d B  %2d/%-2d %2d/%-2d %s\n",
        command.name, r.median, r.min, r.max, requestOk ? "ok" : "MISS", st.median, st.min, st.max,
        statusOk ? "ok" : "MISS", w.median, t.median, t.min, t.max, e.median, e.max,
        n ? samples.front().requestBytes : 0, n ? samples.front().replyBytes : 0, good, n, complete,
        n, completeOk ? "ok" : "MISS");
    if (!requestOk) {
        // Where the slowest request lost its time.
        const auto slowest = std::max_element(samples.begin(), samples.end(),
            [](const Sample& a, const Sample& b) { return a.clickToRequest < b.clickToRequest; });
        std::printf("             slowest request: click -> Text1(0) %.2f ms -> read by the relay "
                    "%.2f ms -> at the simulator %.2f ms\n",
            slowest->clickToTrace, slowest->clickToWritten, slowest->clickToRequest);
    }
    return requestOk && statusOk && completeOk;
}

} // namespace bench
