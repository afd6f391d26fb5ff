#include "cli/apply_file.h"
#include "planted_file.h"
#include "support/pwm5ctl_runner.h"
#include "support/sim_process.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <map>

#include <unistd.h>

// Inputs a clumsy or hostile user gives pwm5ctl: endless files, FIFOs, a com.txt that is no
// regular file or holds words, a COMn link that points nowhere. Each ends the call with its
// reason, nothing sent that should not be.
class TestHostileInputs : public QObject {
    Q_OBJECT

private slots:
    void refusedOrNoted_data()
    {
        QTest::addColumn<QString>("file"); // made in the call's folder first, if given
        QTest::addColumn<QByteArray>("content"); // "<kind>" plants one, "<link>T" links to T
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error"); // %1 is the folder
        QTest::addColumn<int>("sent");

        const QByteArray endless(cli::kApplyInputLimit + 1, ' ');
        QTest::newRow("apply of a device that never ends")
            << "zero" << QByteArray("<zero>") << QStringList { "apply", "%1/zero" } << QByteArray()
            << 2 << "pwm5ctl: %1/zero: longer than 1 MiB, the most a FILE may hold" << 0;
        QTest::newRow("apply of an endless stdin")
            << "" << QByteArray() << QStringList { "apply", "-" } << endless << 2
            << "pwm5ctl: stdin: longer than 1 MiB, the most a FILE may hold" << 0;
        QTest::newRow("apply of a FIFO that no one writes to")
            << "profile" << QByteArray("<fifo>") << QStringList { "apply", "%1/profile" }
            << QByteArray() << 2 << "pwm5ctl: %1/profile (a FIFO) did not end within 5 s" << 0;
        QTest::newRow("apply of a file that gives a key twice")
            << "twice.json" << QByteArray(R"({"pwm_voltage":99,"pwm_voltage":6})")
            << QStringList { "apply", "%1/twice.json" } << QByteArray() << 2
            << "pwm5ctl: %1/twice.json: key pwm_voltage is given twice; a file gives each "
               "value once"
            << 0;
        QTest::newRow("apply of a file whose key is an escape sequence")
            << "title.json" << QByteArray("{\"\x1b]0;owned\x07\\u001b[2J\":1}")
            << QStringList { "apply", "%1/title.json" } << QByteArray() << 2
            << "pwm5ctl: %1/title.json: unknown key \\x1b]0;owned\\x07\\x1b[2J" << 0;
        QTest::newRow("a FIFO as com.txt, port and rate given")
            << "com.txt" << QByteArray("<fifo>") << QStringList { "read", "-b", "9600" }
            << QByteArray() << 0 << "" << 1;
        QTest::newRow("a FIFO as com.txt")
            << "com.txt" << QByteArray("<fifo>") << QStringList { "read" } << QByteArray() << 0
            << "pwm5ctl: com.txt is a FIFO, not a regular file; "
               "it is not read"
            << 1;
        QTest::newRow("words in com.txt are blamed on it")
            << "com.txt" << QByteArray("hello\nworld") << QStringList { "read" } << QByteArray()
            << 0 << "pwm5ctl: com.txt: baud rate \"world\" is not a rate; using 9600" << 1;
        QTest::newRow("words in com.txt, the rate given")
            << "com.txt" << QByteArray("hello\nworld") << QStringList { "read", "-b", "9600" }
            << QByteArray() << 0 << "" << 1;
        QTest::newRow("a COMn link that points nowhere")
            << "COM3" << QByteArray("<link>/dev/serial/by-id/usb-gone-if00-port0")
            << QStringList { "read", "-p", "COM3" } << QByteArray() << 3
            << "pwm5ctl: COM3 -> /dev/serial/by-id/usb-gone-if00-port0: no such device" << 0;
    }

    void refusedOrNoted()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        QFETCH(int, sent);
        QTemporaryDir dir;
        SimProcess sim;
        QVERIFY2(sim.start(dir.path(), {}), qPrintable(sim.output()));
        const QString path = dir.filePath(file);
        const std::map<QByteArray, testsupport::Planted> planted {
            { "<zero>", testsupport::Planted::ZeroDevice },
            { "<fifo>", testsupport::Planted::Fifo },
        };
        if (const auto kind = planted.find(content); kind != planted.end()) {
            if (!testsupport::plant(kind->second, path))
                QSKIP("this machine makes no such file here (a device node needs root)");
        } else if (content.startsWith("<link>")) {
            QVERIFY(QFile::link(QString::fromUtf8(content.sliced(6)), path));
        } else if (!file.isEmpty()) {
            QFile made(path);
            QVERIFY(made.open(QIODevice::WriteOnly));
            made.write(content);
        }
        for (QString& arg : args)
            if (arg.contains(u'%'))
                arg = arg.arg(dir.path());

        const Run run = pwm5ctl(dir.path(), args, input);

        QCOMPARE(run.error, error.contains(u'%') ? error.arg(dir.path()) : error);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.sent.size(), sent);
    }

    // A script that closes stdin before `apply -` gets an answer, not a wait without end.
    void applyOfAClosedStdin()
    {
        QTemporaryDir dir;
        QProcess ctl;
        ctl.setChildProcessModifier([] { ::close(STDIN_FILENO); });
        ctl.setWorkingDirectory(dir.path());
        ctl.start(QStringLiteral(PWM5CTL_PATH), { "-p", "COM1", "apply", "-" });
        QVERIFY(ctl.waitForFinished(kCallMs));
        QCOMPARE(ctl.exitCode(), 2);
        // Read as the null device: empty, so no profile.
        QCOMPARE(QString::fromUtf8(ctl.readAllStandardError()),
            QStringLiteral(
                "pwm5ctl: stdin: not a JSON object as read --json prints (illegal value)\n"));
    }
};

QTEST_GUILESS_MAIN(TestHostileInputs)
#include "tst_hostile_inputs.moc"
