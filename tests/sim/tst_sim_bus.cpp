// Several modules on one line: each keeps its own registers and its own rate, a broadcast is
// taken by every module that hears it, and replies given together collide.

#include <QDir>
#include <QTest>

#include <csignal>
#include <vector>

#include "sim_session.h"
#include "support/test_crc.h"

namespace {

using testcrc::endsWithCrc;
using testcrc::withCrc;

QByteArray frame(std::initializer_list<int> bytes)
{
    QByteArray f;
    for (int b : bytes)
        f += char(b);
    return withCrc(f);
}

QByteArray readReg(int slave, int reg)
{
    return frame({ slave, 0x03, 0, reg, 0, 1 });
}

QByteArray regValue(int slave, int v)
{
    return frame({ slave, 0x03, 2, v >> 8, v & 0xFF });
}

// Answered by its echo.
QByteArray writeReg(int slave, int reg, int v)
{
    return frame({ slave, 0x06, 0, reg, v >> 8, v & 0xFF });
}

constexpr int kOutput1 = 0x11;
constexpr int kBaudCode = 0x18;

// What the master sends at which rate, and what comes back: the reply, nothing (empty), or with
// `collides` as many bytes as `reply` has, that fail the CRC.
struct Step {
    int rate = 19200;
    QByteArray request;
    QByteArray reply;
    bool collides = false;
};
using Steps = QList<Step>;

Step answered(const QByteArray& request, const QByteArray& reply, int rate = 19200)
{
    return { rate, request, reply, false };
}
Step unanswered(const QByteArray& request, int rate = 19200)
{
    return { rate, request, {}, false };
}
Step collision(const QByteArray& request, const QByteArray& oneReply)
{
    return { 19200, request, oneReply, true };
}

const QStringList kEight { "--address", "1-8", "--baud", "19200" };

} // namespace

Q_DECLARE_METATYPE(Step)

class SimBusTest : public QObject {
    Q_OBJECT

private slots:
    void exchanges_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<Steps>("steps");

        const QStringList silent = kEight + QStringList { "--silent-broadcast" };
        QTest::newRow("own registers")
            << kEight
            << Steps { answered(writeReg(3, kOutput1, 1), writeReg(3, kOutput1, 1)),
                   answered(readReg(3, kOutput1), regValue(3, 1)),
                   answered(readReg(4, kOutput1), regValue(4, 0)) };
        QTest::newRow("broadcast taken by all")
            << silent
            << Steps { unanswered(writeReg(0, kOutput1, 1)),
                   answered(readReg(2, kOutput1), regValue(2, 1)),
                   answered(readReg(7, kOutput1), regValue(7, 1)) };
        QTest::newRow("broadcast echoes collide")
            << kEight
            << Steps { collision(writeReg(0, kOutput1, 1), writeReg(0, kOutput1, 1)),
                   answered(readReg(1, kOutput1), regValue(1, 1)),
                   answered(readReg(8, kOutput1), regValue(8, 1)) };
        QTest::newRow("baud change taken by one")
            << kEight
            << Steps { answered(writeReg(2, kBaudCode, 3), writeReg(2, kBaudCode, 3)),
                   unanswered(readReg(2, kBaudCode)),
                   answered(readReg(1, kBaudCode), regValue(1, 2)),
                   answered(readReg(2, kBaudCode), regValue(2, 3), 38400),
                   unanswered(readReg(1, kBaudCode), 38400) };
        QTest::newRow("broadcast missed at another rate")
            << silent
            << Steps { answered(writeReg(2, kBaudCode, 3), writeReg(2, kBaudCode, 3)),
                   unanswered(writeReg(0, kOutput1, 1)),
                   answered(readReg(2, kOutput1), regValue(2, 0), 38400),
                   answered(readReg(3, kOutput1), regValue(3, 1)) };
        QTest::newRow("the one echo heard is whole")
            << QStringList { "--address", "1,2", "--baud", "19200" }
            << Steps { answered(writeReg(2, kBaudCode, 3), writeReg(2, kBaudCode, 3)),
                   answered(writeReg(0, kOutput1, 1), writeReg(0, kOutput1, 1)),
                   answered(readReg(1, kOutput1), regValue(1, 1)) };
        QTest::newRow("doubled address, alike replies") << QStringList { "--address", "1,1",
            "--baud", "19200" } << Steps { collision(readReg(1, kOutput1), regValue(1, 0)) };
        // Module 1 takes address 2 with its output on: the two replies differ in their value.
        QTest::newRow("address taken twice, replies apart")
            << QStringList { "--address", "1,2", "--baud", "19200" }
            << Steps { answered(writeReg(1, kOutput1, 1), writeReg(1, kOutput1, 1)),
                   answered(writeReg(1, 0, 2), writeReg(1, 0, 2)),
                   collision(readReg(2, kOutput1), regValue(2, 1)) };
        QTest::newRow("faults on every module") << QStringList {
            "--address", "1,1", "--baud", "19200", "--garbage", "A5", "--bad-crc"
        } << Steps { collision(readReg(1, kOutput1), QByteArray(1, char(0xA5)) + regValue(1, 0)) };
    }

    void exchanges()
    {
        QFETCH(QStringList, args);
        QFETCH(Steps, steps);
        SimSession s;
        QVERIFY(s.start(args, steps.front().rate));
        for (const Step& step : steps) {
            QVERIFY(s.line.setBaudRate(step.rate));
            if (step.reply.isEmpty()) {
                QVERIFY(s.sendUnanswered(step.request));
                continue;
            }
            const QByteArray got = s.line.exchange(step.request, int(step.reply.size()));
            if (!step.collides) {
                QCOMPARE(got.toHex(' '), step.reply.toHex(' '));
                continue;
            }
            QCOMPARE(got.size(), step.reply.size());
            // Nowhere in it is a frame a master could take, whatever it skips first.
            for (qsizetype from = 0; from + 4 <= got.size(); ++from)
                for (qsizetype to = from + 4; to <= got.size(); ++to)
                    QVERIFY2(!endsWithCrc(got.mid(from, to - from)), got.toHex(' '));
        }
    }

    void trace_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("rate");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QString>("outcome");

        const QStringList silent = kEight + QStringList { "--silent-broadcast" };
        QTest::newRow("one module")
            << kEight << 19200 << readReg(3, kOutput1) << "slave 3  %1  ->  03 03 02 00 00";
        QTest::newRow("broadcast") << silent << 19200 << writeReg(0, kOutput1, 1)
                                   << "slaves 1-8  %1  ->  none: broadcast applied, no answer";
        QTest::newRow("no such module")
            << kEight << 19200 << readReg(9, kOutput1)
            << "slaves 1-8  %1  ->  none: for slave 9, these are slaves 1-8";
        QTest::newRow("another rate")
            << kEight << 9600 << readReg(2, kOutput1)
            << "slave 2  %1  ->  none: master at 9600 baud, module at 19200";
        QTest::newRow("collision") << QStringList { "--address", "5,5" } << 9600
                                   << readReg(5, kOutput1) << "slaves 5, 5  %1  ->  05 03 02 00 00";
    }

    // Each exchange's line names the modules it was for, at their addresses then.
    void trace()
    {
        QFETCH(QStringList, args);
        QFETCH(int, rate);
        QFETCH(QByteArray, request);
        QFETCH(QString, outcome);
        SimSession s;
        QVERIFY(s.start(args, rate));
        s.line.send(request);
        const QString logged = outcome.arg(QString::fromLatin1(request.toHex(' ').toUpper()));
        QVERIFY2(s.sim.waitForOutput(logged), qPrintable(s.sim.output()));
    }

    void tables()
    {
        QTemporaryDir dir;
        SimProcess sim;
        QVERIFY(sim.start(dir.path(), { "--address", "4,9", "--baud", "38400" }));
        QVERIFY(sim.output().contains(", slaves 4, 9 at 38400 baud"));
        ::kill(static_cast<pid_t>(sim.process().processId()), SIGUSR1);
        QVERIFY(sim.waitForOutput("registers of slave 9 at 38400 baud"));
        sim.stop(); // prints the tables once more, whole
        const QString out = sim.output();
        QCOMPARE(out.count("registers of slave"), 4);
        QVERIFY(out.indexOf("registers of slave 4") < out.indexOf("registers of slave 9"));
        QCOMPARE(out.count("  0x0018      3  baud-rate code"), 4);
    }
};

QTEST_GUILESS_MAIN(SimBusTest)
#include "tst_sim_bus.moc"
