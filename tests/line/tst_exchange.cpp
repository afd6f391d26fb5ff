#include "line/exchange.h"
#include "pty_pair.h"
#include "transport/serial_line.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using line::Failure;

Q_DECLARE_METATYPE(line::Failure)

namespace {

const QByteArray kWriteRequest = QByteArray::fromHex("010600110001");
const QByteArray kWriteFrame = QByteArray::fromHex("010600110001180F");
const line::PortSettings k9600 { 9600, 'N', 8, 1 };

// Bound of every wait for an event; generous for sanitizer builds on a busy machine.
constexpr int kWaitMs = 5000;
// Bound of a helper process's start and end.
constexpr int kStartMs = 30000;

} // namespace

class TestExchange : public QObject {
    Q_OBJECT

private:
    // Runs the event loop until the exchange has counted total bytes since prepare(). Woken by
    // each arrival, so that a piece is read on its own before the test writes the next.
    bool receivedUpTo(qsizetype total) const
    {
        const QDeadlineTimer deadline(kWaitMs);
        while (exchange->receivedTotal() < total) {
            if (deadline.hasExpired())
                return false;
            QSignalSpy arrived(port.get(), &line::Line::readyRead);
            arrived.wait(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        }
        return exchange->receivedTotal() == total;
    }

    // Plays the device's answer piece by piece, each read by the exchange before the next is
    // written, with the reply window held meanwhile and then run in full. A round trip through
    // the event loop per piece can take longer than the 160 ms window on a loaded machine, and
    // the verdict would then be on the test's pace instead of the reply. The window cannot
    // close before this runs: send() returns without running the event loop.
    bool answerInPieces(const QList<QByteArray>& pieces) const
    {
        exchange->replyTimer().stop();
        qsizetype written = 0;
        for (const QByteArray& piece : pieces) {
            if (!pty->write(piece))
                return false;
            written += piece.size();
            if (!receivedUpTo(written))
                return false;
        }
        exchange->replyTimer().start();
        return true;
    }

private slots:
    void init()
    {
        qRegisterMetaType<line::Failure>();
        pty = std::make_unique<PtyPair>();
        QVERIFY(pty->isValid());
        port = std::make_unique<line::SerialLine>(
            line::LineAddress::serialDevice(pty->slavePath(), pty->slavePath()));
        exchange = std::make_unique<line::Exchange>();
        exchange->attach(port.get());
        const auto fault = port->open(k9600);
        QVERIFY2(
            !fault, qPrintable(pty->slavePath() + ": " + fault.value_or(line::LineFault {}).text));
    }

    void cleanup()
    {
        exchange.reset();
        port.reset();
        pty.reset();
    }

    void lineSettingsReachTheTty_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<speed_t>("speed");
        QTest::newRow("9600,N,8,1") << 9600 << 1 << speed_t(B9600);
        QTest::newRow("19200,N,8,2") << 19200 << 2 << speed_t(B19200);
        QTest::newRow("115200,N,8,1") << 115200 << 1 << speed_t(B115200);
    }

    void lineSettingsReachTheTty()
    {
        QFETCH(int, baud);
        QFETCH(int, stopBits);
        QFETCH(speed_t, speed);
        port->close();
        QCOMPARE(port->open({ baud, 'N', 8, stopBits }), std::nullopt);
        const termios t = pty->lineSettings();
        QCOMPARE(cfgetospeed(&t), speed);
        QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(t.c_cflag & PARENB, tcflag_t(0));
        QCOMPARE(bool(t.c_cflag & CSTOPB), stopBits == 2);
        // A rate changes on the open port; other settings open it again.
        QCOMPARE(port->changeSettings({ 4800, 'N', 8, stopBits }), std::nullopt);
        QVERIFY(port->isOpen());
        const termios changed = pty->lineSettings();
        QCOMPARE(cfgetospeed(&changed), speed_t(B4800));
        QCOMPARE(port->changeSettings({ 4800, 'N', 8, 3 - stopBits }), std::nullopt);
        const termios reopened = pty->lineSettings();
        QCOMPARE(bool(reopened.c_cflag & CSTOPB), stopBits == 1);
    }

    void requestLeavesBeforeTheWaitEnds()
    {
        QSignalSpy framed(exchange.get(), &line::Exchange::framed);
        QElapsedTimer clock;
        clock.start();
        exchange->prepare();
        QVERIFY(exchange->send(kWriteRequest));
        QVERIFY(clock.elapsed() >= 100);
        // Already on its way when send returns: no event loop runs while the device reads, so a
        // frame left in the port's buffer would never arrive.
        QCOMPARE(pty->read(kWriteFrame.size(), kWaitMs), kWriteFrame);
        QCOMPARE(framed.size(), 1);
        QCOMPARE(framed.at(0).at(0).toString(), QStringLiteral("01 06 00 11 00 01 18 0F "));
        QVERIFY(exchange->replyTimer().isActive());
        QCOMPARE(exchange->replyTimer().interval(), 160);
    }

    // The device answers in pieces, each read by the exchange before the next is written; a
    // late answer is written once the reply has been judged.
    void replies_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<bool>("late");
        QTest::addColumn<Failure>("verdict");
        QTest::newRow("echo") << QList<QByteArray> { kWriteFrame } << false << Failure::None;
        QTest::newRow("split 3 + 5")
            << QList<QByteArray> { kWriteFrame.left(3), kWriteFrame.mid(3) } << false
            << Failure::None;
        QTest::newRow("split byte by byte") << [] {
            QList<QByteArray> bytes;
            for (char c : kWriteFrame)
                bytes << QByteArray(1, c);
            return bytes;
        }() << false << Failure::None;
        QTest::newRow("other slave")
            << QList<QByteArray> { QByteArray::fromHex("020600110001180F") } << false
            << Failure::WrongSlave;
        QTest::newRow("wrong crc") << QList<QByteArray> { QByteArray::fromHex("0106001100011800") }
                                   << false << Failure::BadCrc;
        QTest::newRow("garbage in front") << QList<QByteArray> { QByteArray::fromHex("FF00"),
            kWriteFrame } << false << Failure::WrongLength;
        QTest::newRow("only half")
            << QList<QByteArray> { kWriteFrame.left(4) } << false << Failure::WrongLength;
        QTest::newRow("too late") << QList<QByteArray> { kWriteFrame } << true << Failure::NoReply;
    }

    void replies()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(bool, late);
        QFETCH(Failure, verdict);
        QSignalSpy judged(exchange.get(), &line::Exchange::judged);
        exchange->prepare();
        QVERIFY(exchange->send(kWriteRequest));
        if (late) {
            QVERIFY(judged.wait(kWaitMs));
            QVERIFY(pty->write(pieces.front()));
            QVERIFY(receivedUpTo(pieces.front().size()));
        } else {
            QVERIFY(answerInPieces(pieces));
            QVERIFY(judged.wait(kWaitMs));
        }
        // One judgement per request; the wait can miss a late second one, never invent one.
        QTest::qWait(50);
        QCOMPARE(judged.size(), 1);
        QCOMPARE(judged.at(0).at(0).value<Failure>(), verdict);
    }

    void streamBetweenRequestsIsForgotten()
    {
        // A chatty device fills the buffer while nobody asks; the next request starts afresh.
        // The pty takes what fits of the flood, and only that is counted.
        qsizetype flooded = 0;
        for (int i = 0; i < 20; ++i)
            flooded += pty->writeSome(QByteArray(4096, '\x5A'));
        QCOMPARE_GT(flooded, line::ReceiveBuffer::kCapacity);
        // Read to its end, so that none of it lands after prepare().
        QVERIFY(receivedUpTo(flooded));
        QCOMPARE(exchange->received().size(), line::ReceiveBuffer::kCapacity);
        QSignalSpy judged(exchange.get(), &line::Exchange::judged);
        exchange->prepare();
        QVERIFY(exchange->send(kWriteRequest));
        QVERIFY(answerInPieces({ kWriteFrame }));
        QVERIFY(judged.wait(kWaitMs));
        QCOMPARE(judged.at(0).at(0).value<Failure>(), Failure::None);
        QCOMPARE(exchange->receiveTrace(), QStringLiteral("01 06 00 11 00 01 18 0F "));
    }

    // Two sends back to back: the reply is judged a whole reply window after the second one
    // returned, not at the end of the first one's window, which would be about 60 ms after it.
    // The clock starts before the second send, so that a pause of the test between the timer's
    // start and the clock's can only make the measured time longer.
    void secondSendRestartsTheTimer()
    {
        QSignalSpy judged(exchange.get(), &line::Exchange::judged);
        exchange->prepare();
        QVERIFY(exchange->send(kWriteRequest));
        QElapsedTimer sinceSecondSend;
        sinceSecondSend.start();
        exchange->prepare();
        QVERIFY(exchange->send(kWriteRequest));
        QVERIFY(pty->write(kWriteFrame));
        QVERIFY(judged.wait(kWaitMs));
        // The first window ended within 160 ms of this clock's start, the second no sooner than
        // 260 ms after it.
        QCOMPARE_GE(sinceSecondSend.elapsed(),
            qint64(line::Exchange::kSendWaitMs + line::Exchange::kReplyTimeoutMs - 10));
        QTest::qWait(200);
        QCOMPARE(judged.size(), 1);
        QCOMPARE(judged.at(0).at(0).value<Failure>(), Failure::None);
    }

    void vanishedDeviceClosesThePort()
    {
        QSignalSpy lost(port.get(), &line::Line::lost);
        pty->closeDevice();
        QVERIFY(lost.wait(kWaitMs));
        QTest::qWait(50);
        QCOMPARE(lost.size(), 1);
        QVERIFY(!port->isOpen());
        QCOMPARE(port->lostFault()->kind, Failure::Lost);
        QVERIFY2(port->lostFault()->text.startsWith("the device is gone ("),
            qPrintable(port->lostFault()->text));
        QVERIFY(!exchange->send(kWriteRequest));
    }

    void openFaults_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<Failure>("kind");
        QTest::newRow("missing") << "/nonexistent/ttyX" << Failure::Missing;
        QTest::newRow("a directory") << "/tmp" << Failure::Unusable;
        QTest::newRow("not a tty") << "/dev/null" << Failure::Unusable;
    }

    void openFaults()
    {
        QFETCH(QString, device);
        QFETCH(Failure, kind);
        line::SerialLine other(line::LineAddress::serialDevice(device, device));
        const auto fault = other.open(k9600);
        QVERIFY(fault);
        QCOMPARE(fault->kind, kind);
        QVERIFY(!other.isOpen());
    }

    void portHeldByAnotherProcessIsBusy()
    {
        port->close();
        QProcess holder;
        holder.start(QStringLiteral(PORT_HOLDER), { pty->slavePath() });
        // A sanitizer build of a Qt program can take seconds to start on a loaded machine.
        QVERIFY(holder.waitForReadyRead(kStartMs));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));
        line::SerialLine other(line::LineAddress::serialDevice(pty->slavePath(), pty->slavePath()));
        const auto busy = other.open(k9600);
        QVERIFY(busy);
        QCOMPARE(busy->kind, Failure::Busy);
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(kStartMs));
        QCOMPARE(other.open(k9600), std::nullopt);
    }

private:
    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<line::SerialLine> port;
    std::unique_ptr<line::Exchange> exchange;
};

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
