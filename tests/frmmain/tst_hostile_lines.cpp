#include "frmmain/stop_signals.h"
#include "support/hostile_server_process.h"
#include "support/sim_process.h"
#include "window_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <csignal>
#include <unistd.h>

// The window against device servers that misbehave, reached through a COM3 file: its memory
// stays bounded, a stop signal closes it while it waits for a server, and a small server that
// takes the next client only seconds after the last one left is opened with one connection.

namespace {

const QString kClose = QStringLiteral("关闭串口");
const QString kReplyBad = QStringLiteral("通讯数据错误！");
const QString kReplyGood = QStringLiteral("通讯数据正常！");
constexpr int kWaitMs = 30000;
// What a flood may add to the memory of a window that keeps its buffers bounded.
constexpr long kMostGrowthKiB = 16 * 1024;

long ownMemory()
{
    return residentKiB(QCoreApplication::applicationPid());
}

// COM3 names the server, and com.txt picks COM3 at the rate.
void nameServerAsCom3(WindowFixture& f, const QString& address, const QByteArray& baud = "9600")
{
    QFile com3(f.dir.filePath("COM3"));
    com3.open(QIODevice::WriteOnly);
    com3.write(address.toUtf8() + '\n');
    f.writeSettings("3\r\n" + baud + "\r\n");
}

} // namespace

class TestHostileLines : public QObject {
    Q_OBJECT

private slots:
    // The server answers the settings, then floods; the window reads the flood and forgets it,
    // and its next command is judged on what comes for it.
    void floodWhileOpen_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("IAC SB never closed") << "unclosed-sb";
        QTest::newRow("IAC DO flood, nothing read") << "do-flood";
    }

    void floodWhileOpen()
    {
        QFETCH(QString, mode);
        WindowFixture f;
        HostileServer server;
        QVERIFY2(server.start({ mode }), qPrintable(server.output()));
        nameServerAsCom3(f, server.rfc2217Address());
        f.start();
        f.button("Command1")->click();
        QCOMPARE(f.button("Command1")->text(), kClose);

        QTRY_VERIFY_WITH_TIMEOUT(server.sentSoFar() >= 16, kWaitMs);
        const long before = ownMemory();
        QTRY_VERIFY_WITH_TIMEOUT(server.sentSoFar() >= 64, kWaitMs);
        const long growth = ownMemory() - before;
        qInfo("memory grew by %ld KiB while 48 MiB came", growth);
        QVERIFY(growth < kMostGrowthKiB);

        f.button("Command3")->click();
        QTRY_COMPARE_WITH_TIMEOUT(f.field("Message_Show")->text(), kReplyBad, kWaitMs);
        QCOMPARE(f.messages->texts, QStringList());
    }

    // The settings are never answered, while line bytes pour in: the open gives up in its time
    // with the memory kept, and says so as for a port that does not open.
    void settingsNeverAnswered()
    {
        WindowFixture f;
        HostileServer server;
        QVERIFY2(server.start({ "line-flood" }), qPrintable(server.output()));
        nameServerAsCom3(f, server.rfc2217Address());
        f.start();
        const long before = ownMemory();
        f.button("Command1")->click();
        const long growth = ownMemory() - before;
        qInfo("memory grew by %ld KiB while %d MiB came", growth, server.sentSoFar());
        QVERIFY(growth < kMostGrowthKiB);
        QCOMPARE(f.messages->texts, QStringList { QStringLiteral("其它错误") });
        QVERIFY(f.button("Command1")->text() != kClose);
    }

    // SIGTERM while the window waits for a server to answer closes it at once, as its close
    // button does, with no message box.
    void stopSignalWhileOpening()
    {
        WindowFixture f;
        HostileServer server;
        QVERIFY2(server.start({ "silent" }), qPrintable(server.output()));
        nameServerAsCom3(f, server.rfc2217Address());
        frmmain& w = f.start();
        closeOnStopSignals(&w);
        QElapsedTimer sinceSignal;
        QTimer signaller;
        QObject::connect(&signaller, &QTimer::timeout, [&] {
            if (sinceSignal.isValid() || !server.waitForClient(0))
                return;
            sinceSignal.start();
            ::kill(::getpid(), SIGTERM);
        });
        signaller.start(10);
        f.button("Command1")->click();
        QVERIFY(sinceSignal.isValid());
        qInfo("the open ended %lld ms after SIGTERM", sinceSignal.elapsed());
        QCOMPARE(f.messages->texts, QStringList());
        QVERIFY(f.button("Command1")->text() != kClose);
        // Closed as by its button: the settings are stored.
        QCOMPARE(f.settings(), QByteArray("3\r\n9600\r\n"));
    }

    // A small server takes the next client 3 s after the last one left: the window's open
    // reaches it with one connection, at the operator's rate.
    void oneConnectionToASlowServer()
    {
        WindowFixture f;
        SimProcess sim;
        QVERIFY2(sim.start(f.dir.path(), { "--baud", "19200" }, 1), qPrintable(sim.output()));
        HostileServer server;
        QVERIFY2(server.start({ "slow", sim.devicePath() }), qPrintable(server.output()));
        nameServerAsCom3(f, server.rfc2217Address(), "19200");
        f.start();
        f.button("Command1")->click();
        QCOMPARE(f.button("Command1")->text(), kClose);
        f.button("Command3")->click();
        QTRY_COMPARE_WITH_TIMEOUT(f.field("Message_Show")->text(), kReplyGood, kWaitMs);
        QCOMPARE(server.output().count(QStringLiteral("accepted")), 1);
        QCOMPARE(f.messages->texts, QStringList());
    }
};

QTEST_MAIN(TestHostileLines)
#include "tst_hostile_lines.moc"
