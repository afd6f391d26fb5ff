#include "support/pwm5ctl_runner.h"
#include "support/sim_process.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <unistd.h>

// pwm5ctl where the line misbehaves at its edges: a device that goes away mid-command, the
// tail of a refused frame, a reply that comes after its process, signals and a full disk.

namespace {

// Bound of a wait for pwm5ctl or the simulator to get somewhere; passing runs are far sooner.
constexpr int kWaitMs = 20000;
// A signal ends a command at once, whatever its -t; this only bounds a broken one.
constexpr int kSignalEndMs = 10000;

// Qt's lock file for a device: the path below /dev with '/' as '_'.
QString lockFileOf(const QString& device)
{
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    return QStringLiteral("/run/lock/LCK..") + name.replace(u'/', u'_');
}

// For a failure's message: how pwm5ctl ended and what it said.
QByteArray ending(const Run& run)
{
    return QStringLiteral("exit %1: %2").arg(run.exitCode).arg(run.error.left(2000)).toUtf8();
}

QJsonObject jsonLine(const QString& line)
{
    return QJsonDocument::fromJson(line.toUtf8()).object();
}

// The counts of a monitor's last line, {"statistics":{...}}; empty for any other line.
QJsonObject statisticsOf(const QString& line)
{
    return jsonLine(line).value(QLatin1String("statistics")).toObject();
}

// One line on stderr, pwm5ctl's own: no Qt warnings beside it.
bool saidOnce(const Run& run, const QString& words)
{
    return !run.error.contains(u'\n') && run.error.startsWith(QLatin1String("pwm5ctl: "))
        && run.error.contains(words);
}

} // namespace

class TestLineEdges : public QObject {
    Q_OBJECT

private:
    // Each test gets a folder of its own, as a killed simulator leaves its link behind.
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<SimProcess> sim;
    QString pty; // the device that COM1 stands for

    bool startSim(const QStringList& options)
    {
        sim = std::make_unique<SimProcess>();
        if (!sim->start(dir->path(), options))
            return false;
        pty = QFileInfo(sim->linkPath()).canonicalFilePath();
        return !pty.isEmpty();
    }

    // Exchange lines of the simulator's log: "time  request  ->  reply or why none".
    QStringList simExchanges()
    {
        QStringList exchanges;
        for (const QString& line : sim->output().split(u'\n'))
            if (line.contains(QLatin1String("  ->  ")))
                exchanges << line;
        return exchanges;
    }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
    }

    void cleanup()
    {
        sim.reset();
        dir.reset();
    }

    // A device that vanishes while monitored ends the monitor with its statistics, instead of
    // a line per turn and Qt's warnings for ever.
    void deviceGoneDuringMonitor()
    {
        QVERIFY(startSim({}));
        RunningPwm5ctl ctl;
        ctl.start(dir->path(), { "monitor", "--interval", "0", "--json" });
        QVERIFY(ctl.waitForLine(QProcess::StandardOutput, "{", kWaitMs));
        sim->process().kill();

        const Run run = ctl.finish(kWaitMs);
        // Its other end closed, the pty hangs up: no "unknown error".
        QVERIFY2(run.exitCode == 3
                && saidOnce(run,
                    "the device is gone (it hung up: its other end closed, or it was unplugged)"),
            ending(run));
        QVERIFY2(
            !run.error.contains("QIODevice") && !run.error.contains("QSerialPort"), ending(run));
        // The device named once.
        QVERIFY2(run.error.count(pty) == 1, ending(run));
        QVERIFY(!run.out.isEmpty());
        QCOMPARE_LT(run.out.size(), 100);
        QVERIFY2(statisticsOf(run.out.back()).value("port") == QJsonValue(1),
            qPrintable(run.out.back()));
    }

    // A device that vanishes while a request waits for its reply is a lost device, not a
    // silent module.
    void deviceGoneDuringRequest_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("read") << QStringList { "-t", "5000", "read" };
        QTest::newRow("set") << QStringList { "-t", "5000", "set", "ch1.duty=10" };
    }

    void deviceGoneDuringRequest()
    {
        QFETCH(QStringList, args);
        QVERIFY(startSim({ "--no-reply" }));
        RunningPwm5ctl ctl;
        ctl.start(dir->path(), args);
        QVERIFY(ctl.waitForLine(QProcess::StandardError, "send: ", kWaitMs));
        sim->process().kill();

        const Run run = ctl.finish(kWaitMs);
        QVERIFY2(run.exitCode == 3 && saidOnce(run, "the device is gone")
                && (run.error.contains(pty) || run.error.contains("COM1")),
            ending(run));
    }

    // The rest of a frame from another slave keeps coming after its first byte has refused
    // it; a request sent meanwhile takes that rest for its own reply.
    void refusedFrameRunsOut()
    {
        QVERIFY(startSim({ "--wrong-address" }));
        const Run run
            = pwm5ctl(dir->path(), { "monitor", "--count", "6", "--interval", "0", "--json" });
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.out.size(), 7);
        for (int i = 0; i < 6; ++i) {
            const QJsonObject reading = jsonLine(run.out[i]);
            QVERIFY2(reading.value("ok") == QJsonValue(false)
                    && reading.value("error").toString() == "reply from slave 2",
                qPrintable(run.out[i]));
        }
        // The simulator logs an exchange once its reply has gone: six, each whole.
        QTRY_COMPARE_WITH_TIMEOUT(simExchanges().size(), 6, kWaitMs);
        for (const QString& exchange : simExchanges())
            QVERIFY2(exchange.endsWith("(wrong address)") && !exchange.contains("none:"),
                qPrintable(exchange));
    }

    // A reply that comes after its process gave up must not be read by the next process as
    // the reply to its own request. It comes half a timeout after the first process gave up:
    // long after the next one could have opened the line, while the first one, waiting for
    // the line to be quiet for a timeout before it ends, still hears it.
    void lateReplyStaysWithItsProcess()
    {
        QVERIFY(startSim({ "--delay", "1500" }));
        const Run set = pwm5ctl(dir->path(), { "-t", "1000", "set", "ch1.duty=10" });
        QCOMPARE(set.exitCode, 1);
        QVERIFY2(set.error.contains("no reply within 1000 ms"), qPrintable(set.error));

        const Run read = pwm5ctl(dir->path(), { "-t", "3000", "read" });
        QVERIFY2(read.exitCode == 0 && read.error.isEmpty(), ending(read));
    }

    // SIGINT, SIGTERM and SIGHUP end a command at once, however long it would wait for a reply,
    // with the port closed (no lock left behind) and what it has to say printed.
    void signalEndsCommand_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("exitCode");

        const QStringList silent { "--no-reply" };
        QTest::newRow("monitor waiting for a reply, SIGINT")
            << silent << QStringList { "-t", "60000", "monitor" } << SIGINT << 130;
        QTest::newRow("monitor of a module that answers, SIGTERM")
            << QStringList {} << QStringList { "-t", "60000", "monitor" } << SIGTERM << 143;
        QTest::newRow("read, SIGINT")
            << silent << QStringList { "-t", "60000", "read" } << SIGINT << 130;
        QTest::newRow("set, SIGTERM")
            << silent << QStringList { "-t", "60000", "set", "ch1.duty=10" } << SIGTERM << 143;
        QTest::newRow("scan --json, SIGINT")
            << silent << QStringList { "-t", "60000", "scan", "--json" } << SIGINT << 130;
        QTest::newRow("adopt --json, SIGTERM")
            << silent << QStringList { "-t", "60000", "adopt", "17", "--json" } << SIGTERM << 143;
        // Its terminal closed: as SIGTERM, with the status a shell gives SIGHUP.
        QTest::newRow("monitor of a module that answers, SIGHUP")
            << QStringList {} << QStringList { "-t", "60000", "monitor" } << SIGHUP << 129;
        QTest::newRow("set, SIGHUP")
            << silent << QStringList { "-t", "60000", "set", "ch1.duty=10" } << SIGHUP << 129;
    }

    void signalEndsCommand()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(QStringList, args);
        QFETCH(int, signal);
        QFETCH(int, exitCode);
        QVERIFY(startSim(simOptions));
        RunningPwm5ctl ctl;
        ctl.start(dir->path(), args);
        QVERIFY(ctl.waitForLine(QProcess::StandardError, "send: ", kWaitMs));
        // Else the check that it is gone below would prove nothing.
        QVERIFY(QFile::exists(lockFileOf(pty)));
        QCOMPARE(::kill(static_cast<pid_t>(ctl.process().processId()), signal), 0);

        const Run run = ctl.finish(kSignalEndMs);
        QVERIFY2(run.exitCode == exitCode, ending(run));
        QVERIFY(!QFile::exists(lockFileOf(pty)));
        if (args.contains("monitor"))
            QVERIFY2(!run.out.isEmpty() && run.out.back().startsWith("requests "),
                qPrintable(run.out.join(u'\n')));
        if (args.contains("scan")) {
            QCOMPARE(run.out.size(), 1);
            QCOMPARE(jsonLine(run.out.front()).value("interrupted"), QJsonValue(true));
        }
        // Stopped after its first broadcast: modules may have the address, and it says so.
        if (args.contains("adopt")) {
            const QString said = "terminated; modules on the line may have taken address 17";
            QVERIFY2(run.error == "pwm5ctl: " + said, ending(run));
            QCOMPARE(run.out.size(), 1);
            QCOMPARE(jsonLine(run.out.front()).value("failure"), QJsonValue("interrupted"));
            QCOMPARE(jsonLine(run.out.front()).value("error"), QJsonValue(said));
        }
    }

    // A reader that goes away (head) ends pwm5ctl as SIGPIPE does, but with the port closed.
    void closedPipe()
    {
        QVERIFY(startSim({}));
        QProcess shell;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PWM5CTL", PWM5CTL_PATH);
        shell.setProcessEnvironment(environment);
        shell.setWorkingDirectory(dir->path());
        shell.start("bash",
            { "-c",
                R"("$PWM5CTL" -p COM1 monitor --interval 0 --json | head -2; echo "${PIPESTATUS[0]}")" });
        QVERIFY(shell.waitForFinished(kWaitMs));
        const QStringList printed
            = QString::fromUtf8(shell.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(printed.size(), 3);
        QCOMPARE(printed.back(), QStringLiteral("141"));
        QVERIFY(!QFile::exists(lockFileOf(pty)));
        // A reader that went away interrupted nothing.
        const QString said = QString::fromUtf8(shell.readAllStandardError());
        QVERIFY2(!said.contains("interrupted"), qPrintable(said));
    }

    // Every spelling of the device meets the lock of a pwm5ctl that holds it: as root the
    // kernel's exclusive mode does not stop a second opener, only Qt's lock file, which is
    // named after the path.
    void lockOnTheDeviceItself_data()
    {
        QTest::addColumn<QString>("spelling"); // {dir}: the test's folder, {n}: the pty's number
        QTest::newRow("./COM1") << "./COM1";
        QTest::newRow("absolute path of the link") << "{dir}/COM1";
        QTest::newRow("/dev/pts/../pts/N") << "/dev/pts/../pts/{n}";
    }

    void lockOnTheDeviceItself()
    {
        QFETCH(QString, spelling);
        QVERIFY(startSim({}));
        RunningPwm5ctl holder;
        holder.start(dir->path(), { "monitor", "--interval", "100" });
        QVERIFY(holder.waitForLine(QProcess::StandardOutput, "", kWaitMs));

        const QString port = QString(spelling)
                                 .replace("{dir}", dir->path())
                                 .replace("{n}", QFileInfo(pty).fileName());
        const Run run = pwm5ctl(dir->path(), { "-p", port, "read" });
        QVERIFY2(run.exitCode == 3 && run.error.contains("in use by another program")
                && !run.error.contains("permission error", Qt::CaseInsensitive),
            ending(run));
        // The message names the program that holds the port, by the lock it took.
        QVERIFY2(run.error.contains(
                     QStringLiteral("(pwm5ctl, process %1)").arg(holder.process().processId())),
            ending(run));
        holder.process().terminate();
        QVERIFY(holder.process().waitForFinished(kWaitMs));
    }

    // Output that cannot be written is a failure a script must see, not a silent success; a
    // monitor without end ends at once, as every other command does.
    void fullDisk_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("read") << QStringList { "read", "--json" };
        QTest::newRow("monitor without end") << QStringList { "monitor", "--interval", "0" };
    }

    void fullDisk()
    {
        QFETCH(QStringList, args);
        QVERIFY(startSim({}));
        RunningPwm5ctl ctl;
        ctl.process().setStandardOutputFile("/dev/full");
        ctl.start(dir->path(), args);
        const Run run = ctl.finish(kWaitMs);
        QVERIFY2(run.exitCode == 1 && saidOnce(run, "standard output"), ending(run));
    }

    // A scan that a closed pipe ends says what ended it: nobody interrupted it.
    void scanEndedByAClosedPipe()
    {
        QVERIFY(startSim({}));
        RunningPwm5ctl ctl;
        // Its standard output is a pipe whose reader has gone before it starts.
        ctl.process().setChildProcessModifier([] {
            int ends[2];
            if (::pipe(ends) != 0)
                return;
            ::close(ends[0]);
            ::dup2(ends[1], STDOUT_FILENO);
            ::close(ends[1]);
        });
        ctl.start(dir->path(), { "scan", "--all", "--addresses", "1-2", "--bauds", "9600" });
        const Run run = ctl.finish(kWaitMs);
        QVERIFY2(run.exitCode == 141
                && saidOnce(run, "scan stopped: the reader of standard output went away")
                && !run.error.contains("interrupted"),
            ending(run));
    }
};

QTEST_GUILESS_MAIN(TestLineEdges)
#include "tst_line_edges.moc"
