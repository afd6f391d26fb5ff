#include "support/device_server.h"
#include "support/pwm5ctl_runner.h"
#include "support/sim_process.h"

#include <QTemporaryDir>
#include <QTest>

// pwm5ctl through ser2net, a real serial device server, in front of the module simulator: the
// same commands as on the simulator's own pseudo-terminal, the far line's rate moved through
// RFC 2217, and what a server that turns a client away or goes does to a call.

namespace {

constexpr int kWaitMs = 20000;

enum class Protocol { Raw, Rfc2217 };

// A module behind a device server in a folder of the test's own.
struct Cabinet {
    QTemporaryDir dir;
    SimProcess sim;
    DeviceServer server;

    // Empty when both are up, else what went wrong.
    QString start(const QStringList& simOptions = {})
    {
        if (!sim.start(dir.path(), simOptions))
            return QStringLiteral("simulator: ") + sim.output();
        if (!server.start(dir.path(), sim.devicePath()))
            return QStringLiteral("ser2net: ") + server.output();
        return {};
    }
    QString address(Protocol protocol) const
    {
        return protocol == Protocol::Raw ? server.rawAddress() : server.rfc2217Address();
    }
    // A monitor without end on the server's port, once it has printed its first reading.
    bool startMonitor(Protocol protocol, RunningPwm5ctl& monitor)
    {
        monitor.start(
            dir.path(), { "-p", address(protocol), "monitor", "--interval", "0", "--json" });
        return monitor.waitForLine(QProcess::StandardOutput, "{", kWaitMs);
    }
    // pwm5ctl on the server's port.
    Run call(Protocol protocol, const QStringList& args, const QByteArray& input = {})
    {
        return pwm5ctl(dir.path(), QStringList { "-p", address(protocol) } + args, input);
    }
};

QString described(const Run& run)
{
    return QStringLiteral("exit %1\nout: %2\nerr: %3\nsent: %4")
        .arg(run.exitCode)
        .arg(run.out.join('\n'), run.error, run.sent.join('\n'));
}

} // namespace

Q_DECLARE_METATYPE(Protocol)

class TestDeviceServer : public QObject {
    Q_OBJECT

private slots:
    void commandsThroughTheServer_data()
    {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("out"); // whole-line patterns
        QTest::addColumn<QString>("error"); // stderr, but the trace

        for (const auto& [protocol, name] :
            { std::pair { Protocol::Raw, "raw" }, std::pair { Protocol::Rfc2217, "rfc2217" } }) {
            const auto row = [&](const char* what) {
                return &(
                    QTest::newRow(QStringLiteral("%1: %2").arg(name, what).toUtf8()) << protocol);
            };
            *row("read") << QStringList { "read", "--json" } << QByteArray() << 0
                         << QStringList { "\\{\"address\":1,\"baud_code\":1,.*\"ok\":true,.*\\}" }
                         << "";
            *row("set") << QStringList { "set", "ch1.duty=25", "key_lock=on" } << QByteArray() << 0
                        << QStringList { "ch1.duty +25.0 %", "key_lock +on" } << "";
            *row("apply") << QStringList { "apply", "-" } << QByteArray("{\"ch2.duty\":30}") << 0
                          << QStringList { "ch2.duty        50.0 % -> 30.0 %" } << "";
            *row("verify") << QStringList { "verify", "-", "--json" }
                           << QByteArray("{\"ch3.duty\":50,\"ch3.output\":true}") << 1
                           << QStringList { "\\{\"address\":1,\"differences\":\\{\"ch3.output\":"
                                            "\\{\"file\":true,\"module\":false\\}\\},\"ok\":"
                                            "true\\}" }
                           << "";
            *row("monitor --count")
                << QStringList { "monitor", "--count", "2", "--interval", "0", "--json" }
                << QByteArray() << 0
                << QStringList { "\\{\"address\":1,.*\"ok\":true,.*\\}",
                       "\\{\"address\":1,.*\"ok\":true,.*\\}",
                       "\\{\"address\":1,\"statistics\":\\{.*\"ok\":2,.*" }
                << "";
        }
        // A probe's 25 ms are for a serial line; behind a server on a loaded machine a probe
        // gets 200 ms.
        QTest::newRow("raw: scan, at the server's rate only")
            << Protocol::Raw << QStringList { "-t", "200", "scan", "--addresses", "1-2" }
            << QByteArray() << 0
            << QStringList { "address 1  baud_rate 9600  supply_voltage 12.34 V" }
            << "pwm5ctl: a raw TCP line stays at its server's rate; trying 9600 baud only (-b "
               "names that rate)";
        QTest::newRow("rfc2217: scan, the far line at each rate")
            << Protocol::Rfc2217
            << QStringList { "-t", "200", "scan", "--addresses", "1-2", "--bauds", "4800,9600" }
            << QByteArray() << 0
            << QStringList { "address 1  baud_rate 9600  supply_voltage 12.34 V" } << "";
    }

    void commandsThroughTheServer()
    {
        QFETCH(Protocol, protocol);
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(int, exitCode);
        QFETCH(QStringList, out);
        QFETCH(QString, error);
        Cabinet cabinet;
        QCOMPARE(cabinet.start(), QString());
        const Run run = cabinet.call(protocol, args, input);
        QVERIFY2(
            run.exitCode == exitCode && linesMatch(run.out, out) && run.error.trimmed() == error,
            qPrintable(described(run)));
    }

    // The module moves to 19200 baud; RFC 2217 moves the far line after it, and so does each
    // later call that names the rate, with no word to the server's configuration.
    void baudThroughRfc2217MovesTheFarLine()
    {
        Cabinet cabinet;
        QCOMPARE(cabinet.start(), QString());
        const Run moved = cabinet.call(Protocol::Rfc2217, { "baud", "19200" });
        QVERIFY2(moved.exitCode == 0 && moved.out == QStringList { "baud_rate       19200" },
            qPrintable(described(moved)));
        const Run read = cabinet.call(Protocol::Rfc2217, { "-b", "19200", "read", "--json" });
        QVERIFY2(read.exitCode == 0 && read.out.value(0).contains("\"baud_rate\":19200"),
            qPrintable(described(read)));
    }

    // A raw TCP port cannot follow: the write goes, and the call says what the operator must do.
    void baudThroughRawTcpSaysTheServerKeepsItsRate()
    {
        Cabinet cabinet;
        QCOMPARE(cabinet.start(), QString());
        const Run moved = cabinet.call(Protocol::Raw, { "baud", "19200" });
        QVERIFY2(moved.exitCode == 0
                && moved.error.contains("a raw TCP line stays at its server's rate: set the "
                                        "server's line to 19200 baud")
                && moved.sent.size() == 1,
            qPrintable(described(moved)));
    }

    // Frequencies whose words hold 0xFF bytes travel doubled on the connection and arrive whole.
    void iacBytesInRegisterValues()
    {
        Cabinet cabinet;
        QCOMPARE(cabinet.start(), QString());
        const Run set = cabinet.call(Protocol::Rfc2217,
            { "set", "ch1.frequency=65535", "ch2.frequency=255", "ch3.frequency=65791" });
        QVERIFY2(
            set.exitCode == 0 && set.sent.value(0).contains("FF FF"), qPrintable(described(set)));
        const Run read = cabinet.call(Protocol::Rfc2217, { "read", "--json" });
        QVERIFY2(read.exitCode == 0
                && read.out.value(0).contains(
                    "\"channels\":[{\"duty\":50,\"frequency\":65535,"
                    "\"output\":false},{\"duty\":50,\"frequency\":255,"
                    "\"output\":false},{\"duty\":50,\"frequency\":65791,"),
            qPrintable(described(read)));
    }

    void faults_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("error");
        const QString closed = QString::number(DeviceServer::freePort());
        QTest::newRow("connection refused") << "tcp:127.0.0.1:" + closed
                                            << "pwm5ctl: tcp:127.0.0.1:" + closed
                + ": connection refused (nothing takes connections on port " + closed + ")";
        QTest::newRow("rfc2217, connection refused") << "rfc2217:127.0.0.1:" + closed
                                                     << "pwm5ctl: rfc2217:127.0.0.1:" + closed
                + ": connection refused (nothing takes connections on port " + closed + ")";
        QTest::newRow("no port") << "tcp:127.0.0.1"
                                 << "pwm5ctl: tcp:127.0.0.1: no :PORT after the host";
        QTest::newRow("port 0") << "rfc2217:localhost:0"
                                << "pwm5ctl: rfc2217:localhost:0: port \"0\" is not 1 to 65535";
    }

    void faults()
    {
        QFETCH(QString, port);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const Run run = pwm5ctl(dir.path(), { "-p", port, "read" });
        QVERIFY2(run.exitCode == 3 && run.error.trimmed() == error && run.sent.isEmpty(),
            qPrintable(described(run)));
    }

    // While one client holds the line, the server turns every other away, on either port.
    void aSecondClientIsTurnedAway()
    {
        Cabinet cabinet;
        QCOMPARE(cabinet.start(), QString());
        RunningPwm5ctl holder;
        QVERIFY(cabinet.startMonitor(Protocol::Raw, holder));
        for (const auto& [protocol, said] : { std::pair { Protocol::Raw, "Port already in use" },
                 std::pair { Protocol::Rfc2217, "Port's device already in use" } }) {
            const Run turned = cabinet.call(protocol, { "read" });
            const QString expected
                = QStringLiteral("pwm5ctl: %1: in use by another program (the server says \"%2\")")
                      .arg(cabinet.address(protocol), said);
            QVERIFY2(turned.exitCode == 3 && turned.error.trimmed() == expected,
                qPrintable(described(turned)));
        }
    }

    // The server goes while monitor reads: the port is lost, exit 3, and the statistics stand.
    void theServerStoppedDuringMonitor()
    {
        Cabinet cabinet;
        QCOMPARE(cabinet.start(), QString());
        RunningPwm5ctl monitor;
        QVERIFY(cabinet.startMonitor(Protocol::Rfc2217, monitor));
        cabinet.server.stop();
        const Run run = monitor.finish(kWaitMs);
        QVERIFY2(run.exitCode == 3
                && run.error.contains(cabinet.server.rfc2217Address()
                    + ": the connection dropped (the server closed it)")
                && run.out.last().startsWith("{\"address\":1,\"statistics\":")
                && run.out.last().contains("\"port\":1"),
            qPrintable(described(run)));
    }
};

QTEST_GUILESS_MAIN(TestDeviceServer)
#include "tst_device_server.moc"
