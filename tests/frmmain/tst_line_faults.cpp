#include "frmmain/panel_widgets.h"
#include "line/exchange.h"
#include "pty_pair.h"
#include "support/sim_process.h"
#include "window_fixture.h"

#include <QFile>
#include <QTest>

namespace {

const QString kGood = QStringLiteral("通讯数据正常！");
const QString kBad = QStringLiteral("通讯数据错误！");

// Bound of every wait for an event; generous for sanitizer builds on a busy machine.
constexpr int kWaitMs = 5000;

// Resident memory of this process, in KiB.
long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

} // namespace

// What a noisy or broken line does to the window: never a corrupted value shown as good.
class TestLineFaults : public QObject {
    Q_OBJECT

private:
    static void readAll(WindowFixture& f)
    {
        f.button("Command3")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!f.field("Message_Show")->text().isEmpty(), kWaitMs);
    }

private slots:
    void simulatorFaults_data()
    {
        QTest::addColumn<QStringList>("faults");
        QTest::addColumn<QString>("status");
        QTest::newRow("no reply") << QStringList { "--no-reply" } << kBad;
        // Far behind the judgement at about 260 ms, so that a busy machine cannot close the gap.
        QTest::newRow("late reply") << QStringList { "--late", "1000" } << kBad;
        QTest::newRow("split reply") << QStringList { "--split", "4" } << kGood;
        QTest::newRow("garbage before the reply") << QStringList { "--garbage", "FF00A5" } << kBad;
        QTest::newRow("wrong address") << QStringList { "--wrong-address" } << kBad;
        QTest::newRow("bad crc") << QStringList { "--bad-crc" } << kBad;
    }

    void simulatorFaults()
    {
        QFETCH(QStringList, faults);
        QFETCH(QString, status);
        WindowFixture f;
        SimProcess sim;
        QVERIFY2(sim.start(f.dir.path(), QStringList { "--vin", "987" } + faults, 2),
            qPrintable(sim.output()));
        f.writeSettings("2\r\n9600\r\n");
        frmmain& w = f.start();
        f.button("Command1")->click();
        QCOMPARE(f.button("Command1")->text(), QStringLiteral("关闭串口"));
        const device::ParameterSet before = w.parameters();

        readAll(f);
        QCOMPARE(f.field("Message_Show")->text(), status);
        if (status == kGood) {
            QCOMPARE(f.field("Text2")->text().size(), 171);
            QCOMPARE(f.get<QLabel>("Label19")->text(), QStringLiteral("9.87V"));
        } else {
            QCOMPARE(f.field("Text2")->text(), QString());
            QCOMPARE(f.get<QLabel>("Label19")->text(), QStringLiteral("0.00V"));
            QCOMPARE(f.field("Text4")->text(), QStringLiteral("1000"));
            QVERIFY(w.parameters() == before);
        }
        QVERIFY(f.messages->texts.isEmpty());
    }

    // Replies no simulator option gives: played by hand on a pseudo-terminal.
    void handPlayedReplies_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("exception reply") << QByteArray::fromHex("0183020C0A");
        QTest::newRow("read reply of 18 registers") << QByteArray(41, '\x01');
        QTest::newRow("57 bytes, one bit flipped")
            << QByteArray::fromHex("01033404D20032000003E8000249F0000003E8000003E8000003E801F401F4"
                                   "01F401F401F4000100000000000000000001000000010000"
                                   "1BF5");
    }

    void handPlayedReplies()
    {
        QFETCH(QByteArray, reply);
        WindowFixture f;
        PtyPair pty;
        QVERIFY(f.openOn(pty));
        const frmmain& w = *f.window;
        const device::ParameterSet before = w.parameters();
        f.button("Command3")->click();
        QCOMPARE(pty.read(8, kWaitMs).size(), 8);
        pty.write(reply);
        QTRY_COMPARE_WITH_TIMEOUT(f.field("Message_Show")->text(), kBad, kWaitMs);
        QCOMPARE(f.field("Text2")->text(), QString());
        QCOMPARE(f.get<QLabel>("Label19")->text(), QStringLiteral("0.00V"));
        QVERIFY(w.parameters() == before);
    }

    void floodKeepsMemoryBounded()
    {
        WindowFixture f;
        PtyPair pty;
        QVERIFY(f.openOn(pty));

        const long before = residentKiB();
        const QByteArray noise(64 * 1024, '\xA5');
        qint64 sent = 0;
        const qint64 total = 10 * 1024 * 1024;
        while (sent < total) {
            const QByteArray left = noise.left(qMin<qint64>(noise.size(), total - sent));
            sent += pty.writeSome(left);
            QCoreApplication::processEvents();
        }
        // Measured once the window has read the whole flood; and none of it may land behind
        // the next request.
        const auto* exchange = f.window->findChild<line::Exchange*>();
        QVERIFY(exchange);
        QTRY_COMPARE_WITH_TIMEOUT(qint64(exchange->receivedTotal()), sent, 4 * kWaitMs);
        const long after = residentKiB();
        qInfo("resident before the flood %ld KiB, after 10 MiB of noise %ld KiB", before, after);
        QVERIFY2(after - before < 16 * 1024, "the flood grew the window's memory");

        // The line still works: the next request is judged on its own reply.
        pty.readAvailable();
        f.button("Command4")->click();
        QCOMPARE(pty.read(8, kWaitMs), QByteArray::fromHex("010600110001180F"));
        pty.write(QByteArray::fromHex("010600110001180F"));
        QTRY_COMPARE_WITH_TIMEOUT(f.field("Message_Show")->text(), kGood, kWaitMs);
    }
};

QTEST_MAIN(TestLineFaults)
#include "tst_line_faults.moc"
