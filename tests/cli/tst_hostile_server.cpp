#include "support/hostile_server_process.h"
#include "support/pwm5ctl_runner.h"
#include "support/sim_process.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>

// pwm5ctl against device servers that misbehave: whatever a server sends, its memory stays
// bounded, a command ends within its own times, and a stop signal ends it at once. And a small
// server that takes the next client only seconds after the last one left serves calls in a row.

namespace {

constexpr int kWaitMs = 30000;
// A signal ends a command at once; this only bounds a broken one.
constexpr int kSignalEndMs = 5000;
// What a flood may add to the memory of a process that keeps its buffers bounded.
constexpr long kMostGrowthKiB = 16 * 1024;

QString described(const Run& run)
{
    return QStringLiteral("exit %1\nout: %2\nerr: %3")
        .arg(run.exitCode)
        .arg(run.out.join('\n'), run.error);
}

// The growth of the process's memory while the server floods another 48 MiB, once 16 MiB have
// gone: a process that kept what it was sent would grow by all of it. It may shrink by a page
// as well; nothing when the server did not send it all.
std::optional<long> growthWhileFlooded(HostileServer& server, qint64 pid)
{
    if (!server.waitForSent(16, kWaitMs))
        return std::nullopt;
    const long before = residentKiB(pid);
    if (!server.waitForSent(64, kWaitMs))
        return std::nullopt;
    return residentKiB(pid) - before;
}

} // namespace

class TestHostileServer : public QObject {
    Q_OBJECT

private slots:
    // The server answers the settings, then floods: a subnegotiation that never ends, or
    // options asked for without end while it reads nothing more. A monitor keeps its memory
    // and ends at Ctrl+C.
    void floodWhileMonitoring_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("IAC SB never closed") << "unclosed-sb";
        QTest::newRow("IAC DO flood, nothing read") << "do-flood";
    }

    void floodWhileMonitoring()
    {
        QFETCH(QString, mode);
        QTemporaryDir dir;
        HostileServer server;
        QVERIFY2(server.start({ mode }), qPrintable(server.output()));
        RunningPwm5ctl monitor;
        monitor.start(dir.path(),
            { "-p", server.rfc2217Address(), "-t", "50", "monitor", "--interval", "0", "--json" });
        QVERIFY(monitor.waitForLine(QProcess::StandardOutput, "{", kWaitMs));

        const auto growth = growthWhileFlooded(server, monitor.process().processId());
        QVERIFY2(growth, qPrintable(server.output()));
        qInfo("memory grew by %ld KiB while 48 MiB came", *growth);
        QVERIFY2(*growth < kMostGrowthKiB, qPrintable(server.output()));

        QElapsedTimer sinceSignal;
        sinceSignal.start();
        QCOMPARE(::kill(static_cast<pid_t>(monitor.process().processId()), SIGINT), 0);
        const Run run = monitor.finish(kSignalEndMs);
        qInfo("ended %lld ms after SIGINT", sinceSignal.elapsed());
        QVERIFY2(run.exitCode == 130, qPrintable(described(run)));
        QVERIFY2(run.out.last().contains("\"statistics\""), qPrintable(described(run)));
    }

    // The settings are never answered: the call ends once their time is up, with memory kept
    // while line bytes pour in, and suggests raw TCP only when line bytes came back.
    void settingsNeverAnswered_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("said");
        QTest::newRow("line bytes instead") << "line-flood"
                                            << "the server answers with the line's bytes, not "
                                               "with RFC 2217; for a raw TCP port, name it tcp:";
        QTest::newRow("nothing at all") << "silent"
                                        << "the server did not answer the line settings within 5 s";
    }

    void settingsNeverAnswered()
    {
        QFETCH(QString, mode);
        QFETCH(QString, said);
        QTemporaryDir dir;
        HostileServer server;
        QVERIFY2(server.start({ mode }), qPrintable(server.output()));
        RunningPwm5ctl read;
        read.start(dir.path(), { "-p", server.rfc2217Address(), "read", "--json" });
        if (mode == "line-flood") {
            const auto growth = growthWhileFlooded(server, read.process().processId());
            QVERIFY(growth);
            qInfo("memory grew by %ld KiB while 48 MiB came", *growth);
            QVERIFY(*growth < kMostGrowthKiB);
        }
        const Run run = read.finish(kWaitMs);
        QVERIFY2(run.exitCode == 3 && run.error.contains(said)
                && (mode == "line-flood") == run.error.contains("tcp:")
                && run.out.value(0).contains("\"failure\":\"refused\""),
            qPrintable(described(run)));
    }

    // A server that resets the connection at once: adopt says so and how, as every command
    // does, and that modules may have the address if a broadcast went.
    void adoptThroughAServerThatResets_data()
    {
        QTest::addColumn<bool>("rfc2217");
        QTest::newRow("raw TCP") << false;
        QTest::newRow("RFC 2217") << true;
    }

    void adoptThroughAServerThatResets()
    {
        QFETCH(bool, rfc2217);
        QTemporaryDir dir;
        HostileServer server;
        QVERIFY2(server.start({ "reset" }), qPrintable(server.output()));
        const QString address = rfc2217 ? server.rfc2217Address() : server.rawAddress();
        const Run run = pwm5ctl(dir.path(), { "-p", address, "adopt", "17", "--json" });
        // Raw TCP says first that it tries one rate only.
        const QString said = run.error.section(u'\n', -1);
        QVERIFY2(run.exitCode == 3 && said.startsWith("pwm5ctl: " + address + ": ")
                && run.out.size() == 1 && run.out.front().contains("\"ok\":false")
                && !run.out.front().contains("\"failure\":\"interrupted\""),
            qPrintable(described(run)));
    }

    // SIGTERM while the settings wait for their answer ends the call at once.
    void signalWhileNegotiating()
    {
        QTemporaryDir dir;
        HostileServer server;
        QVERIFY2(server.start({ "silent" }), qPrintable(server.output()));
        RunningPwm5ctl read;
        read.start(dir.path(), { "-p", server.rfc2217Address(), "read" });
        // Connected and negotiating: the server has taken the connection.
        QVERIFY(server.waitForClient(kWaitMs));
        QElapsedTimer sinceSignal;
        sinceSignal.start();
        QCOMPARE(::kill(static_cast<pid_t>(read.process().processId()), SIGTERM), 0);
        const Run run = read.finish(kSignalEndMs);
        qInfo("ended %lld ms after SIGTERM", sinceSignal.elapsed());
        QVERIFY2(run.exitCode == 143 && run.error.isEmpty(), qPrintable(described(run)));
    }

    // The server moves its far line to another rate after the first reply, and says so: the
    // call names the move and the rate, once, instead of taking the silence that follows for a
    // module that does not answer.
    void serverMovesTheFarLine()
    {
        QTemporaryDir dir;
        SimProcess sim;
        QVERIFY2(sim.start(dir.path(), {}), qPrintable(sim.output()));
        HostileServer server;
        QVERIFY2(
            server.start({ "rate-move", sim.devicePath(), "19200" }), qPrintable(server.output()));
        const Run run = pwm5ctl(dir.path(),
            { "-p", server.rfc2217Address(), "-t", "200", "monitor", "--count", "3", "--interval",
                "0", "--json" });
        QVERIFY2(run.exitCode == 3
                && run.error.trimmed()
                    == "pwm5ctl: " + server.rfc2217Address()
                        + ": the server moved the far line to 19200 baud; it was set to 9600"
                && run.out.value(0).contains("\"ok\":true"),
            qPrintable(described(run)));
    }

    // The server passes the reply on a byte every 30 ms: each reading says that its reply came
    // too slowly or in pieces, and the rest of one reply never passes for the next one's.
    void replyComesByteByByte()
    {
        QTemporaryDir dir;
        SimProcess sim;
        QVERIFY2(sim.start(dir.path(), {}), qPrintable(sim.output()));
        HostileServer server;
        QVERIFY2(server.start({ "trickle", sim.devicePath(), "30" }), qPrintable(server.output()));
        const Run run = pwm5ctl(dir.path(),
            { "-p", server.rfc2217Address(), "-t", "100", "monitor", "--count", "2", "--interval",
                "0", "--json" });
        QVERIFY2(run.exitCode == 1 && run.out.size() == 3, qPrintable(described(run)));
        for (const QString& reading : run.out.first(2))
            QVERIFY2(reading.contains("\"failure\":\"wrong_length\"")
                    && reading.contains("reply came too slowly or in pieces ("),
                qPrintable(described(run)));
    }

    // A small server serves one client at a time and takes the next only 3 s after the last
    // one left: calls in a row wait for it and succeed, and a rate change within a call moves
    // the far line on the open connection.
    void slowServerServesCallsInARow()
    {
        QTemporaryDir dir;
        SimProcess sim;
        QVERIFY2(sim.start(dir.path(), {}), qPrintable(sim.output()));
        HostileServer server;
        QVERIFY2(server.start({ "slow", sim.devicePath() }), qPrintable(server.output()));
        const QStringList port { "-p", server.rfc2217Address() };
        const QList<QStringList> calls { { "read", "--json" }, { "set", "ch1.duty=25" },
            { "baud", "19200" }, { "-b", "19200", "read", "--json" },
            { "scan", "--addresses", "1", "--bauds", "9600,19200" } };
        for (const QStringList& call : calls) {
            const Run run = pwm5ctl(dir.path(), port + call);
            QVERIFY2(run.exitCode == 0, qPrintable(call.join(' ') + ": " + described(run)));
        }
    }
};

QTEST_GUILESS_MAIN(TestHostileServer)
#include "tst_hostile_server.moc"
