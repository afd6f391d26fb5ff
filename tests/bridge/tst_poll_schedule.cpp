#include "bridge/poll_schedule.h"

#include <QTest>

#include <map>
#include <set>

using bridge::PollSchedule;
using Instant = PollSchedule::Instant;
using namespace std::chrono_literals;

namespace {

// One step of a script: at a time, a module answers or fails, or a round starts and must read
// exactly these addresses.
struct Step {
    enum Kind { Answer, Fail, Round } kind;
    int at; // ms
    std::vector<int> addresses; // the module for Answer and Fail; the round's reads
};

Step answer(int address, int at = 0)
{
    return { Step::Answer, at, { address } };
}
Step fail(int address, int at)
{
    return { Step::Fail, at, { address } };
}
Step round(int at, std::vector<int> reads)
{
    return { Step::Round, at, std::move(reads) };
}

// A line served in rounds for a while: a good read takes 5 ms, a read that gets no answer the
// timeout of 25 ms, and the next round starts an interval after the last began. How many times
// each address was read.
std::map<int, int> served(const std::vector<int>& addresses, const std::set<int>& present,
    Instant interval, Instant duration)
{
    PollSchedule schedule(addresses);
    std::map<int, int> reads;
    Instant now {};
    while (now < duration) {
        const Instant start = now;
        for (const int address : schedule.round(now)) {
            ++reads[address];
            if (present.contains(address)) {
                now += 5ms;
                schedule.answered(address);
            } else {
                now += 25ms;
                schedule.failed(address, now);
            }
        }
        now = std::max(now, start + interval);
        if (schedule.round(now).empty())
            now += schedule.untilProbe(now).value_or(interval);
    }
    return reads;
}

} // namespace

Q_DECLARE_METATYPE(std::vector<Step>)

class TestPollSchedule : public QObject {
    Q_OBJECT

private slots:
    void rounds_data()
    {
        QTest::addColumn<std::vector<int>>("addresses");
        QTest::addColumn<std::vector<Step>>("script");

        QTest::newRow("modules that answer are read in every round")
            << std::vector<int> { 1, 2 }
            << std::vector<Step> { round(0, { 1, 2 }), answer(1), answer(2), round(100, { 1, 2 }) };
        QTest::newRow("one that never answered is offline at its first failure")
            << std::vector<int> { 1, 2 }
            << std::vector<Step> { round(0, { 1, 2 }), answer(1), fail(2, 30), round(100, { 1 }),
                   round(10'029, { 1 }), round(10'030, { 1, 2 }) };
        QTest::newRow("one that answered before, at its third failure in a row")
            << std::vector<int> { 1 }
            << std::vector<Step> { answer(1), fail(1, 0), round(10, { 1 }), fail(1, 20), answer(1),
                   fail(1, 30), fail(1, 40), round(50, { 1 }), fail(1, 60), round(70, {}),
                   round(10'060, { 1 }) };
        QTest::newRow("one offline probe in a round, the one that waited longest")
            << std::vector<int> { 1, 2, 3, 4 }
            << std::vector<Step> { answer(1), fail(4, 0), fail(2, 1), fail(3, 2),
                   round(20'000, { 1, 4 }), fail(4, 20'005), round(20'010, { 1, 2 }),
                   fail(2, 20'015), round(20'020, { 1, 3 }), fail(3, 20'025),
                   round(20'030, { 1 }) };
        QTest::newRow("an offline module that answers is read in every round again")
            << std::vector<int> { 7 }
            << std::vector<Step> { fail(7, 0), round(5000, {}), round(10'000, { 7 }), answer(7),
                   round(10'100, { 7 }) };
    }

    void rounds()
    {
        QFETCH(std::vector<int>, addresses);
        QFETCH(std::vector<Step>, script);
        PollSchedule schedule(addresses);
        for (const Step& step : script) {
            const Instant at { step.at };
            switch (step.kind) {
            case Step::Answer:
                schedule.answered(step.addresses.front());
                break;
            case Step::Fail:
                schedule.failed(step.addresses.front(), at);
                break;
            case Step::Round:
                QCOMPARE(schedule.round(at), step.addresses);
                break;
            }
        }
    }

    // When an offline module falls due: nothing to wait for while every module answers.
    void untilProbe()
    {
        PollSchedule schedule({ 1, 2, 3 });
        QCOMPARE(schedule.untilProbe(Instant(0)), std::nullopt);
        schedule.failed(2, Instant(1000));
        schedule.failed(3, Instant(4000));
        QCOMPARE(schedule.untilProbe(Instant(2000)), std::optional(9000ms));
        QCOMPARE(schedule.untilProbe(Instant(12'000)), std::optional(0ms));
    }

    // 247 addresses and two modules present: the two keep the rounds they have alone, and
    // every absent address is still probed now and then.
    void aBusOfAbsentModules()
    {
        std::vector<int> all;
        for (int a = 1; a <= 247; ++a)
            all.push_back(a);
        const auto alone = served({ 3, 200 }, { 3, 200 }, 100ms, 600s);
        const auto crowd = served(all, { 3, 200 }, 100ms, 600s);
        for (const int present : { 3, 200 })
            QVERIFY2(crowd.at(present) >= alone.at(present) * 9 / 10,
                qPrintable(QStringLiteral("%1 reads of %2 against %3 alone")
                               .arg(crowd.at(present))
                               .arg(present)
                               .arg(alone.at(present))));
        for (const int absent : { 1, 100, 247 })
            QVERIFY(crowd.at(absent) >= 2);
    }
};

QTEST_APPLESS_MAIN(TestPollSchedule)
#include "tst_poll_schedule.moc"
