// The simulator as a process: its link, its signals, its trace and its command line.

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <optional>

#include "sim_session.h"

namespace {

QByteArray bytes(const char* hex)
{
    return QByteArray::fromHex(hex);
}

bool exists(const QString& path)
{
    return QFileInfo(path).isSymLink() || QFileInfo::exists(path);
}

} // namespace

class SimProcessTest : public QObject {
    Q_OBJECT

private slots:
    void readyLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("ready");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("device");

        QTest::newRow("start values")
            << "ready COM1 -> /dev/pts/3, slave 1 at 9600 baud" << true << "COM1"
            << "/dev/pts/3";
        QTest::newRow("line end kept") << "ready COM1 -> /dev/pts/3, slave 1 at 9600 baud\r\n"
                                       << true << "COM1"
                                       << "/dev/pts/3";
        QTest::newRow("two-digit port, last address, fastest rate")
            << "ready COM12 -> /dev/pts/140, slave 247 at 115200 baud" << true << "COM12"
            << "/dev/pts/140";
        QTest::newRow("several modules, commas after the device")
            << "ready COM1 -> /dev/pts/3, slaves 1, 2, 17 at 9600 baud" << true << "COM1"
            << "/dev/pts/3";
        QTest::newRow("an exchange, which has an arrow too")
            << "01 03 00 00 00 1A C4 01  ->  01 03 34 04 D2 00 32" << false << ""
            << "";
        QTest::newRow("the link taken")
            << "pwm5-sim: COM1 already exists; is another simulator running here?" << false << ""
            << "";
        QTest::newRow("the register table") << "registers of slave 1 at 9600 baud" << false << ""
                                            << "";
        QTest::newRow("ready inside a line")
            << "not ready COM1 -> /dev/pts/3, slave 1 at 9600 baud" << false << ""
            << "";
        QTest::newRow("no device") << "ready COM1 -> , slave 1 at 9600 baud" << false << ""
                                   << "";
        QTest::newRow("read up to the device") << "ready COM1 -> /dev/pts/3" << false << ""
                                               << "";
    }

    // Tests and benches find the simulator's pseudo-terminal through its first line.
    void readyLine()
    {
        QFETCH(QString, line);
        QFETCH(bool, ready);
        QFETCH(QString, link);
        QFETCH(QString, device);
        const std::optional<SimReadyLine> parsed = parseReadyLine(line);
        QCOMPARE(parsed.has_value(), ready);
        if (parsed) {
            QCOMPARE(parsed->link, link);
            QCOMPARE(parsed->device, device);
        }
    }

    void stopSignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    // The link goes with the simulator, which prints its registers on the way out.
    void stopSignal()
    {
        QFETCH(int, signal);
        QTemporaryDir dir;
        SimProcess sim;
        QVERIFY(sim.start(dir.path(), {}, 3));
        QCOMPARE(sim.linkPath(), dir.filePath("COM3"));
        QVERIFY(sim.devicePath().startsWith("/dev/pts/"));
        QCOMPARE(QFileInfo(sim.linkPath()).symLinkTarget(), sim.devicePath());
        ::kill(static_cast<pid_t>(sim.process().processId()), signal);
        QVERIFY(sim.process().waitForFinished(5000));
        QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.process().exitCode(), 0);
        QVERIFY(!exists(sim.linkPath()));
        QVERIFY(sim.output().contains("registers of slave 1 at 9600 baud"));
    }

    void tableOnSigusr1()
    {
        QTemporaryDir dir;
        SimProcess sim;
        QVERIFY(sim.start(dir.path(), { "--vin", "987" }));
        ::kill(static_cast<pid_t>(sim.process().processId()), SIGUSR1);
        QVERIFY(sim.waitForOutput("0x0000    987"));
        QVERIFY(exists(sim.linkPath()));
    }

    void existingName_data()
    {
        QTest::addColumn<bool>("staleLink"); // else a regular file
        QTest::newRow("file kept") << false;
        QTest::newRow("stale link replaced") << true;
    }

    void existingName()
    {
        QFETCH(bool, staleLink);
        QTemporaryDir dir;
        const QString com1 = dir.filePath("COM1");
        if (staleLink)
            QVERIFY(QFile::link(dir.filePath("gone"), com1));
        else
            QVERIFY(QFile(com1).open(QIODevice::WriteOnly));
        SimProcess sim;
        QCOMPARE(sim.start(dir.path(), {}), staleLink);
        QCOMPARE(QFileInfo(com1).isSymLink(), staleLink);
        if (!staleLink)
            QCOMPARE(sim.process().exitCode(), 1);
    }

    void badCommandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("unknown option") << QStringList { "--rate", "9600" };
        QTest::newRow("address 248") << QStringList { "--address", "248" };
        QTest::newRow("odd hex") << QStringList { "--garbage", "F" };
        QTest::newRow("reversed range") << QStringList { "--address", "8-1" };
        QTest::newRow("rate not the module's") << QStringList { "--baud", "1200" };
    }

    void badCommandLine()
    {
        QFETCH(QStringList, args);
        QTemporaryDir dir;
        SimProcess sim;
        QVERIFY(!sim.start(dir.path(), args));
        QCOMPARE(sim.process().exitCode(), 2);
        QVERIFY(sim.output().contains("usage: pwm5-sim"));
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    // The joined form and the version reach the program, not only its parser.
    void joinedPort()
    {
        QTemporaryDir dir;
        SimProcess sim;
        sim.process().setWorkingDirectory(dir.path());
        sim.process().start(PWM5_SIM_PATH, { "--port=2" });
        QVERIFY(sim.waitForReady(2, 10000));
        QCOMPARE(QFileInfo(dir.filePath("COM2")).symLinkTarget(), sim.devicePath());
    }

    void version()
    {
        SimProcess sim;
        sim.process().start(PWM5_SIM_PATH, { "--version" });
        QVERIFY(sim.process().waitForFinished(10000));
        QCOMPARE(sim.process().exitCode(), 0);
        QCOMPARE(sim.output(), "pwm5-sim " PWM5_VERSION "\n");
    }

    void trace_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("replySize"); // 0: no answer
        QTest::addColumn<QString>("line");

        QTest::newRow("read") << bytes("01030000001AC401") << 57
                              << "01 03 00 00 00 1A C4 01  ->  01 03 34 04 D2 00 32";
        QTest::newRow("other slave")
            << bytes("02030000001AC432") << 0 << "02 03 00 00 00 1A C4 32  ->  none: for slave 2";
        QTest::newRow("bad CRC") << bytes("01030000001AC402") << 0
                                 << "01 03 00 00 00 1A C4 02  ->  none: bad CRC";
    }

    // Each exchange leaves one line, and the simulator keeps serving after a bad request.
    void trace()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, replySize);
        QFETCH(QString, line);
        SimSession s;
        QVERIFY(s.start());
        if (replySize > 0)
            QCOMPARE(s.line.exchange(request, replySize).size(), replySize);
        else {
            s.line.send(request);
            QVERIFY(s.line.staysSilent(300));
        }
        QVERIFY(s.sim.waitForOutput(line));
        QCOMPARE(s.line.exchange(bytes("010600110001180F"), 8), bytes("010600110001180F"));
    }
};

QTEST_GUILESS_MAIN(SimProcessTest)
#include "tst_sim_process.moc"
