#include "bridge/line_queue.h"

#include <QStringList>
#include <QTest>

using bridge::LineQueue;

namespace {

// Requests as "S:kT": source S (-1 the broker), r for a read or w for a write, ticket T;
// "drop:S" closes a connection.
void feed(LineQueue& queue, const QString& script)
{
    for (const QString& step : script.split(u' ', Qt::SkipEmptyParts)) {
        const QStringList parts = step.split(u':');
        if (parts[0] == u"drop") {
            queue.drop(parts[1].toInt());
            continue;
        }
        const auto kind = parts[1][0] == u'w' ? LineQueue::Kind::Write : LineQueue::Kind::Read;
        queue.add(parts[0].toInt(), kind, parts[1].mid(1).toULongLong());
    }
}

// The tickets served, "P" for a poll read and "-" for nothing to do.
QString served(LineQueue& queue, int picks, bool pollDue)
{
    QStringList seen;
    for (int i = 0; i < picks; ++i) {
        const LineQueue::Next next = queue.next(pollDue);
        seen << (next.what == LineQueue::Next::Poll  ? QStringLiteral("P")
                : next.what == LineQueue::Next::Idle ? QStringLiteral("-")
                                                     : QString::number(next.ticket));
    }
    return seen.join(u' ');
}

} // namespace

class TestLineQueue : public QObject {
    Q_OBJECT

private slots:
    void order_data()
    {
        QTest::addColumn<QString>("requests");
        QTest::addColumn<bool>("pollDue");
        QTest::addColumn<QString>("served");
        QTest::newRow("one connection, in order") << "0:r1 0:w2 0:r3" << false << "1 2 3 -";
        QTest::newRow("connections take turns")
            << "0:r1 0:r2 0:r3 2:r4 2:r5" << false << "1 4 2 5 3 -";
        QTest::newRow("a write waits for an earlier write elsewhere")
            << "0:r1 0:r2 0:w3 1:w4" << false << "1 2 3 4 -";
        QTest::newRow("commands and face writes in the order they came")
            << "-1:w1 0:w2 -1:w3 0:r4 1:w5" << false << "1 2 3 4 5 -";
        QTest::newRow("reads pass a waiting write of another source")
            << "1:w1 0:w2 0:r3 2:r4" << false << "1 4 2 3 -";
        QTest::newRow("the poll every other exchange")
            << "0:r1 0:r2 1:r3" << true << "1 P 3 P 2 P P";
        QTest::newRow("the poll alone") << "" << true << "P P";
        QTest::newRow("a closed connection's requests go")
            << "0:w1 1:w2 0:r3 drop:0" << false << "2 -";
        QTest::newRow("its writes no longer hold others")
            << "0:r1 0:w2 1:w3 drop:0" << false << "3 -";
    }

    void order()
    {
        QFETCH(QString, requests);
        QFETCH(bool, pollDue);
        QFETCH(QString, served);
        LineQueue queue;
        feed(queue, requests);
        QCOMPARE(::served(queue, static_cast<int>(served.count(u' ')) + 1, pollDue), served);
        QVERIFY(queue.empty());
    }

    // A request refused at its turn used no line time: the next one still goes before the poll.
    void refusalsCostThePollNoTurn()
    {
        LineQueue queue;
        feed(queue, QStringLiteral("-1:w1 -1:w2 -1:w3"));
        QCOMPARE(queue.next(true).ticket, LineQueue::Ticket(1));
        queue.servedWithoutLine();
        QCOMPARE(queue.next(true).ticket, LineQueue::Ticket(2));
        QCOMPARE(queue.next(true).what, LineQueue::Next::Poll);
        QCOMPARE(queue.next(true).ticket, LineQueue::Ticket(3));
    }

    void boundPerConnection()
    {
        LineQueue queue;
        for (LineQueue::Ticket t = 1; t <= LineQueue::kMostWaiting; ++t) {
            QVERIFY(!queue.full(3));
            queue.add(3, LineQueue::Kind::Read, t);
        }
        QVERIFY(queue.full(3));
        QVERIFY(!queue.full(4));
        queue.next(false);
        QVERIFY(!queue.full(3));
    }
};

QTEST_APPLESS_MAIN(TestLineQueue)
#include "tst_line_queue.moc"
