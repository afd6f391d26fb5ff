#include "line/master.h"
#include "pty_pair.h"
#include "support/test_crc.h"

#include <QTest>

#include <chrono>
#include <thread>

using line::ReplyState;

Q_DECLARE_METATYPE(line::ReplyState)

namespace {

// Part of a reply, written this long after the part before (the first after the request).
struct Piece {
    int afterMs;
    QByteArray bytes;
};

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

const QByteArray kRead = hex("01 03 00 00 00 01");
const QByteArray kReply = testcrc::withCrc(hex("01 03 02 04 D2"));
const QByteArray kReadAll = hex("01 03 00 00 00 1A");
const QByteArray kReadAllReply = testcrc::withCrc(hex("01 03 34") + QByteArray(52, '\x11'));

// The reply in pieces of ten bytes, each the given time after the one before.
QList<Piece> paced(const QByteArray& reply, int gapMs)
{
    QList<Piece> pieces;
    for (qsizetype at = 0; at < reply.size(); at += 10)
        pieces.append({ at == 0 ? 0 : gapMs, reply.mid(at, 10) });
    return pieces;
}

line::LineAddress lineTo(const PtyPair& device)
{
    return line::LineAddress::serialDevice(device.slavePath(), device.slavePath());
}

} // namespace

Q_DECLARE_METATYPE(QList<Piece>)

// The command line's master against a device played on a pseudo-terminal from a second thread,
// since a master's request blocks the thread that asks.
class TestMaster : public QObject {
    Q_OBJECT

private slots:
    void replies_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<QList<Piece>>("pieces");
        QTest::addColumn<ReplyState>("state");
        QTest::addColumn<QByteArray>("reply"); // what the device sent in time

        QTest::newRow("whole") << kRead << 9600 << 1000 << QList<Piece> { { 0, kReply } }
                               << ReplyState::Complete << kReply;
        QTest::newRow("in three pieces") << kRead << 9600 << 1000
                                         << QList<Piece> { { 0, kReply.first(2) },
                                                { 10, kReply.mid(2, 3) }, { 10, kReply.mid(5) } }
                                         << ReplyState::Complete << kReply;
        // 57 bytes take 475 ms at 1200 baud: a reply begun in time is not cut at the timeout.
        QTest::newRow("a long reply that has begun")
            << kReadAll << 1200 << 50 << paced(kReadAllReply, 50) << ReplyState::Complete
            << kReadAllReply;
        QTest::newRow("late") << kRead << 9600 << 100 << QList<Piece> { { 500, kReply } }
                              << ReplyState::Incomplete << QByteArray();
        QTest::newRow("exception")
            << kRead << 9600 << 1000 << QList<Piece> { { 0, testcrc::withCrc(hex("01 83 02")) } }
            << ReplyState::Exception << testcrc::withCrc(hex("01 83 02"));
        QTest::newRow("garbage in front")
            << kRead << 9600 << 1000 << QList<Piece> { { 0, hex("FF") + kReply } }
            << ReplyState::WrongAddress << hex("FF") + kReply;
    }

    void replies()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, baud);
        QFETCH(int, timeoutMs);
        QFETCH(QList<Piece>, pieces);
        QFETCH(ReplyState, state);
        QFETCH(QByteArray, reply);
        PtyPair device;
        QVERIFY(device.isValid());
        line::Master master(timeoutMs);
        QCOMPARE(master.open(lineTo(device), { baud, 'N', 8, 1 }), std::nullopt);

        QByteArray arrived;
        std::thread play([&] {
            arrived = device.read(8, 10000);
            for (const Piece& piece : pieces) {
                std::this_thread::sleep_for(std::chrono::milliseconds(piece.afterMs));
                device.write(piece.bytes);
            }
        });
        const line::Answer answer = master.ask(request);
        play.join();

        QCOMPARE(arrived, testcrc::withCrc(request));
        QCOMPARE(answer.progress.state, state);
        // A reply ruled out early may stop at its first wrong byte.
        if (state == ReplyState::Complete || state == ReplyState::Exception)
            QCOMPARE(answer.reply, reply);
        else
            QVERIFY(reply.startsWith(answer.reply));
    }

    // The module answers the first request after the timeout; that answer must not pass for
    // the answer to the next request to the same slave.
    void lateReplyIsNotTakenForTheNext()
    {
        PtyPair device;
        line::Master master(100);
        QCOMPARE(master.open(lineTo(device), { 9600, 'N', 8, 1 }), std::nullopt);
        const QByteArray first = testcrc::withCrc(hex("01 03 02 00 01"));
        const QByteArray second = testcrc::withCrc(hex("01 03 02 00 02"));
        std::thread play([&] {
            device.read(8, 10000);
            std::this_thread::sleep_for(std::chrono::milliseconds(130));
            device.write(first);
            device.read(8, 10000);
            device.write(second);
        });
        const line::Answer late = master.ask(kRead);
        const line::Answer next = master.ask(kRead);
        play.join();

        QVERIFY(late.silent());
        QCOMPARE(next.reply, second);
    }
};

QTEST_GUILESS_MAIN(TestMaster)
#include "tst_master.moc"
