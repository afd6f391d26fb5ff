// The simulator's timing and its injected faults, seen from the master's port.

#include <QTest>

#include "rtu/line_timing.h"
#include "rtu/port_settings.h"
#include "sim_session.h"
#include "support/test_crc.h"

#include <chrono>

namespace {

using testcrc::withCrc;

QByteArray bytes(const char* hex)
{
    return QByteArray::fromHex(hex);
}

const QByteArray kToggle = bytes("010600110001180F"); // answered by its echo
const QByteArray kReadAll = bytes("01030000001AC401"); // answered by 57 bytes

} // namespace

class SimTimingTest : public QObject {
    Q_OBJECT

private slots:
    void faults_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("reply"); // empty: no answer
        // Lower bounds from the write of the request; an arrival can only be seen late.
        QTest::addColumn<int>("firstByteMs");
        QTest::addColumn<int>("lastByteMs");

        QTest::newRow("none") << QStringList {} << kToggle << 5 << 13;
        QTest::newRow("--delay 200") << QStringList { "--delay", "200" } << kToggle << 200 << 208;
        QTest::newRow("--late 400") << QStringList { "--late", "400" } << kToggle << 400 << 408;
        QTest::newRow("--no-reply") << QStringList { "--no-reply" } << QByteArray {} << 0 << 0;
        QTest::newRow("--bad-crc")
            << QStringList { "--bad-crc" } << bytes("01060011000118F0") << 5 << 13;
        QTest::newRow("--wrong-address")
            << QStringList { "--wrong-address" } << withCrc(bytes("020600110001")) << 5 << 13;
        QTest::newRow("--garbage")
            << QStringList { "--garbage", "FF00A5" } << bytes("FF00A5") + kToggle << 5 << 16;
        // Three gaps of 10 ms between four pieces.
        QTest::newRow("--split 4") << QStringList { "--split", "4" } << kToggle << 5 << 43;
    }

    void faults()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, reply);
        QFETCH(int, firstByteMs);
        QFETCH(int, lastByteMs);
        SimSession s;
        QVERIFY(s.start(args));
        if (reply.isEmpty()) {
            QVERIFY(s.sendUnanswered(kToggle));
            return;
        }
        QCOMPARE(s.line.exchange(kToggle, reply.size()).toHex(' '), reply.toHex(' '));
        QCOMPARE_GE(s.line.firstArrivalMs(), firstByteMs);
        QCOMPARE_GE(s.line.lastArrivalMs(), lastByteMs);
    }

    void pacing_data()
    {
        QTest::addColumn<QByteArray>("baudChange"); // empty: stay at 9600
        QTest::addColumn<int>("rate");

        QTest::newRow("4800") << withCrc(bytes("010600180000")) << 4800;
        QTest::newRow("9600") << QByteArray {} << 9600;
        QTest::newRow("115200") << bytes("010600180005C9CE") << 115200;
    }

    // A 57-byte reply takes the line time of 57 characters at 8N1 (the tool's own reckoning)
    // after the 5 ms response delay: about 124 ms at 4800 baud, 64 ms at 9600 and 10 ms at
    // 115200. Only the lower bound is checked: a busy machine makes any reply later.
    void pacing()
    {
        QFETCH(QByteArray, baudChange);
        QFETCH(int, rate);
        SimSession s;
        QVERIFY(s.start());
        if (!baudChange.isEmpty()) {
            QCOMPARE(s.line.exchange(baudChange, 8), baudChange);
            QVERIFY(s.line.setBaudRate(rate));
        }
        QCOMPARE(s.line.exchange(kReadAll, 57).size(), 57);
        line::PortSettings settings;
        settings.baud = rate;
        const auto expected = std::chrono::milliseconds(5) + line::transferTime(settings, 57);
        QCOMPARE_GE(s.line.lastArrivalMs(),
            std::chrono::duration_cast<std::chrono::milliseconds>(expected).count() - 1);
    }
};

QTEST_GUILESS_MAIN(SimTimingTest)
#include "tst_sim_timing.moc"
