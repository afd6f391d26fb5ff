#include "bridge/line_schedule.h"

#include <QStringList>
#include <QTest>

using namespace std::chrono_literals;
using bridge::LineQueue;
using bridge::LineSchedule;
using Instant = LineSchedule::Instant;

namespace {

QString stepText(const LineSchedule::Step& step)
{
    switch (step.what) {
    case LineSchedule::Step::Request:
        return QStringLiteral("R%1").arg(step.ticket);
    case LineSchedule::Step::Poll:
        return QStringLiteral("P%1").arg(step.address);
    case LineSchedule::Step::Wait:
        break;
    }
    return QStringLiteral("W%1").arg(step.wait.count());
}

// The steps taken, an exchange lasting 20 ms; every module answers but those in silent.
QString steps(LineSchedule& schedule, int count, const std::vector<int>& silent = {})
{
    QStringList seen;
    Instant now {};
    for (int i = 0; i < count; ++i) {
        const LineSchedule::Step step = schedule.next(now);
        seen << stepText(step);
        if (step.what == LineSchedule::Step::Wait)
            continue;
        now += 20ms;
        if (step.what == LineSchedule::Step::Poll) {
            if (std::ranges::find(silent, step.address) != silent.end())
                schedule.failed(step.address, now);
            else
                schedule.answered(step.address);
        }
    }
    return seen.join(u' ');
}

// Poll rounds completed in a minute of exchanges of 20 ms, with or without a client that
// always has a read waiting.
int roundsInAMinute(std::chrono::milliseconds interval, bool busyClient)
{
    LineSchedule schedule({ 1, 2, 3 }, interval);
    Instant now {};
    int reads = 0;
    LineQueue::Ticket ticket = 0;
    while (now < 60s) {
        if (busyClient && !schedule.full(0))
            schedule.add(0, LineQueue::Kind::Read, ++ticket);
        const LineSchedule::Step step = schedule.next(now);
        if (step.what == LineSchedule::Step::Wait) {
            now += std::max(step.wait, 1ms);
            continue;
        }
        now += 20ms;
        if (step.what == LineSchedule::Step::Poll) {
            schedule.answered(step.address);
            ++reads;
        }
    }
    return reads / 3;
}

} // namespace

class TestLineSchedule : public QObject {
    Q_OBJECT

private slots:
    void pollAlone()
    {
        LineSchedule schedule({ 1, 2 }, 1000ms);
        QCOMPARE(steps(schedule, 4), QStringLiteral("P1 P2 W960 W960"));
    }

    void writtenModuleReadFirst()
    {
        LineSchedule schedule({ 1, 2, 3 }, 1000ms);
        schedule.written(3);
        QCOMPARE(steps(schedule, 4), QStringLiteral("P3 P1 P2 W940"));
    }

    void requestsAndPollTakeTurns()
    {
        LineSchedule schedule({ 1, 2 }, 1000ms);
        schedule.add(0, LineQueue::Kind::Read, 7);
        schedule.add(0, LineQueue::Kind::Read, 8);
        schedule.add(LineQueue::kBroker, LineQueue::Kind::Write, 9);
        QCOMPARE(steps(schedule, 7), QStringLiteral("R9 P1 R7 P2 R8 W900 W900"));
    }

    void offlineModulesWaitForTheirProbe()
    {
        LineSchedule schedule({ 5 }, 1000ms);
        // Never answered: offline at its first failed read, probed again 10 s after it.
        QCOMPARE(steps(schedule, 2, { 5 }), QStringLiteral("P5 W10000"));
    }

    void pollKeepsHalfItsRounds_data()
    {
        QTest::addColumn<int>("intervalMs");
        QTest::newRow("as fast as the line goes") << 0;
        QTest::newRow("every 100 ms") << 100;
        QTest::newRow("every second") << 1000;
    }

    void pollKeepsHalfItsRounds()
    {
        QFETCH(int, intervalMs);
        const int alone = roundsInAMinute(std::chrono::milliseconds(intervalMs), false);
        const int busy = roundsInAMinute(std::chrono::milliseconds(intervalMs), true);
        QVERIFY2(busy >= 0.45 * alone, qPrintable(QStringLiteral("%1 of %2").arg(busy).arg(alone)));
    }
};

QTEST_APPLESS_MAIN(TestLineSchedule)
#include "tst_line_schedule.moc"
