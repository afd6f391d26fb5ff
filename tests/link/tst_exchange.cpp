#include "link/exchange.h"
#include "link/qt_serial_port.h"
#include "pty_pair.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using serial::Verdict;

Q_DECLARE_METATYPE(serial::Verdict)
Q_DECLARE_METATYPE(serial::ProbeOutcome)

namespace {

const QByteArray kWriteRequest = QByteArray::fromHex("010600110001");
const QByteArray kWriteFrame = QByteArray::fromHex("010600110001180F");
const serial::PortSettings k9600 { 9600, 'N', 8, 1 };

} // namespace

class TestExchange : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        qRegisterMetaType<serial::Verdict>();
        pty = std::make_unique<PtyPair>();
        QVERIFY(pty->isValid());
        port = std::make_unique<serial::QtSerialPort>();
        exchange = std::make_unique<serial::Exchange>(*port);
        QVERIFY(port->open(pty->slavePath(), k9600));
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
        QVERIFY(port->open(pty->slavePath(), { baud, 'N', 8, stopBits }));
        const termios t = pty->lineSettings();
        QCOMPARE(cfgetospeed(&t), speed);
        QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(t.c_cflag & PARENB, tcflag_t(0));
        QCOMPARE(bool(t.c_cflag & CSTOPB), stopBits == 2);
    }

    void requestLeavesBeforeTheWaitEnds()
    {
        QSignalSpy framed(exchange.get(), &serial::Exchange::framed);
        QElapsedTimer clock;
        clock.start();
        exchange->prepare();
        QVERIFY(exchange->send(kWriteRequest));
        QVERIFY(clock.elapsed() >= 100);
        // Already at the device when send returns: it was pushed out before the blocking wait.
        QCOMPARE(pty->readAvailable(), kWriteFrame);
        QCOMPARE(framed.size(), 1);
        QCOMPARE(framed.at(0).at(0).toString(), QStringLiteral("01 06 00 11 00 01 18 0F "));
        QVERIFY(exchange->replyTimer().isActive());
        QCOMPARE(exchange->replyTimer().interval(), 160);
    }

    // The device answers in pieces, at given times after the request reaches it.
    void replies_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<int>("gapMs");
        QTest::addColumn<Verdict>("verdict");
        QTest::newRow("echo") << QList<QByteArray> { kWriteFrame } << 0 << Verdict::Accepted;
        QTest::newRow("split 3 + 5")
            << QList<QByteArray> { kWriteFrame.left(3), kWriteFrame.mid(3) } << 40
            << Verdict::Accepted;
        QTest::newRow("split byte by byte") << [] {
            QList<QByteArray> bytes;
            for (char c : kWriteFrame)
                bytes << QByteArray(1, c);
            return bytes;
        }() << 5 << Verdict::Accepted;
        QTest::newRow("other slave")
            << QList<QByteArray> { QByteArray::fromHex("020600110001180F") } << 0
            << Verdict::WrongHeader;
        QTest::newRow("wrong crc") << QList<QByteArray> { QByteArray::fromHex("0106001100011800") }
                                   << 0 << Verdict::BadCrc;
        QTest::newRow("garbage in front") << QList<QByteArray> { QByteArray::fromHex("FF00"),
            kWriteFrame } << 0 << Verdict::WrongLength;
        QTest::newRow("only half")
            << QList<QByteArray> { kWriteFrame.left(4) } << 0 << Verdict::WrongLength;
        QTest::newRow("too late") << QList<QByteArray> { QByteArray(), kWriteFrame } << 400
                                  << Verdict::WrongLength;
    }

    void replies()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(int, gapMs);
        QFETCH(Verdict, verdict);
        QSignalSpy judged(exchange.get(), &serial::Exchange::judged);
        exchange->prepare();
        QVERIFY(exchange->send(kWriteRequest));
        for (const QByteArray& piece : pieces) {
            pty->write(piece);
            QTest::qWait(gapMs);
        }
        QVERIFY(judged.wait(1000) || judged.size() == 1);
        QTest::qWait(50);
        QCOMPARE(judged.size(), 1);
        QCOMPARE(judged.at(0).at(0).value<Verdict>(), verdict);
    }

    void streamBetweenRequestsIsForgotten()
    {
        // A chatty device fills the buffer while nobody asks; the next request starts afresh.
        for (int i = 0; i < 20; ++i)
            pty->write(QByteArray(4096, '\x5A'));
        QTRY_VERIFY_WITH_TIMEOUT(
            exchange->received().size() >= serial::ReceiveBuffer::kCapacity, 2000);
        QCOMPARE(exchange->received().size(), serial::ReceiveBuffer::kCapacity);
        QSignalSpy judged(exchange.get(), &serial::Exchange::judged);
        exchange->prepare();
        QVERIFY(exchange->send(kWriteRequest));
        pty->write(kWriteFrame);
        QVERIFY(judged.wait(1000));
        QCOMPARE(judged.at(0).at(0).value<Verdict>(), Verdict::Accepted);
        QCOMPARE(exchange->receiveTrace(), QStringLiteral("01 06 00 11 00 01 18 0F "));
    }

    void secondSendRestartsTheTimer()
    {
        QSignalSpy judged(exchange.get(), &serial::Exchange::judged);
        exchange->prepare();
        QVERIFY(exchange->send(kWriteRequest));
        QTest::qWait(100);
        exchange->prepare();
        QVERIFY(exchange->send(kWriteRequest));
        pty->write(kWriteFrame);
        QVERIFY(judged.wait(1000));
        QTest::qWait(200);
        QCOMPARE(judged.size(), 1);
        QCOMPARE(judged.at(0).at(0).value<Verdict>(), Verdict::Accepted);
    }

    void vanishedDeviceClosesThePort()
    {
        QSignalSpy lost(port.get(), &serial::SerialPort::lost);
        pty->closeDevice();
        QVERIFY(lost.wait(1000));
        QTest::qWait(50);
        QCOMPARE(lost.size(), 1);
        QVERIFY(!port->isOpen());
        QVERIFY(!exchange->send(kWriteRequest));
    }

    void probe_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<serial::ProbeOutcome>("outcome");
        QTest::newRow("missing") << "/nonexistent/ttyX" << serial::ProbeOutcome::Missing;
        QTest::newRow("no name") << "" << serial::ProbeOutcome::Missing;
        QTest::newRow("a directory") << "/tmp" << serial::ProbeOutcome::OtherFailure;
        QTest::newRow("not a tty") << "/dev/null" << serial::ProbeOutcome::OtherFailure;
    }

    void probe()
    {
        QFETCH(QString, device);
        QFETCH(serial::ProbeOutcome, outcome);
        serial::QtSerialPort other;
        QCOMPARE(other.probe(device), outcome);
    }

    void portHeldByAnotherProcessIsBusy()
    {
        port->close();
        QProcess holder;
        holder.start(QStringLiteral(PORT_HOLDER), { pty->slavePath() });
        QVERIFY(holder.waitForReadyRead(5000));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));
        serial::QtSerialPort other;
        QCOMPARE(other.probe(pty->slavePath()), serial::ProbeOutcome::Busy);
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(5000));
        QCOMPARE(other.probe(pty->slavePath()), serial::ProbeOutcome::Usable);
    }

private:
    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<serial::QtSerialPort> port;
    std::unique_ptr<serial::Exchange> exchange;
};

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
