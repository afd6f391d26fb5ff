#include "support/pwm5ctl_runner.h"
#include "support/sim_process.h"

#include <QTemporaryDir>
#include <QTest>

// pwm5ctl on one line with several modules, the simulator playing the bus: each command of an
// address list, adopt, and what two modules answering together do to them.
class TestBusCommands : public QObject {
    Q_OBJECT

private slots:
    void onTheBus_data()
    {
        QTest::addColumn<QStringList>("modules"); // the simulator's --address and --baud
        QTest::addColumn<QList<QStringList>>("before"); // calls that set the bus up
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("out"); // whole-line patterns
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("sent"); // the slave of each request, in order

        const QList<QStringList> none;
        // The same value in each of four columns.
        const auto column = [](const QString& value) { return QStringList(4, value).join(" +"); };
        QTest::newRow("read: a column per module, 80 columns for four")
            << QStringList { "--address", "1-4" } << none << QStringList { "read", "-a", "1-4" }
            << QByteArray() << 0
            << QStringList { "address +1 +2 +3 +4", "baud_rate +" + column("9600"),
                   "supply_voltage +" + column("12.34 V"), ".*", ".*", ".*", ".*",
                   "ch1.duty +" + column("50.0 %"), ".*", ".*", ".*", ".*", ".*", ".*", ".*", ".*",
                   ".*", ".*", ".*", ".*", "ch5.output +" + column("off") }
            << "" << QStringList { "01", "02", "03", "04" };
        QTest::newRow("read --json: a line per module, a silent one among them")
            << QStringList { "--address", "1,3" } << none
            << QStringList { "read", "-a", "1-3", "--json" } << QByteArray() << 1
            << QStringList { "\\{\"address\":1,.*\"ok\":true,.*\\}",
                   "\\{\"address\":2,\"error\":\"no reply within 200 "
                   "ms\",\"failure\":\"no_reply\",\"ok\":false\\}",
                   "\\{\"address\":3,.*\"ok\":true,.*\\}" }
            << "pwm5ctl: module 2: no reply within 200 ms" << QStringList { "01", "02", "03" };
        QTest::newRow("set: module after module, each in the order given")
            << QStringList { "--address", "1-2" } << none
            << QStringList { "set", "-a", "2,1", "ch1.duty=25", "key_lock=on", "--json" }
            << QByteArray() << 0
            << QStringList { "\\{\"address\":2,\"ch1.duty\":25,\"key_lock\":true,\"ok\":true\\}",
                   "\\{\"address\":1,\"ch1.duty\":25,\"key_lock\":true,\"ok\":true\\}" }
            << "" << QStringList { "02", "02", "01", "01" };
        QTest::newRow("apply: written where it differs, said where it does not")
            << QStringList { "--address", "1-2" }
            << QList<QStringList> { { "set", "-a", "2", "ch2.duty=30" } }
            << QStringList { "apply", "-a", "1,2", "-" } << QByteArray("{\"ch2.duty\":30}") << 0
            << QStringList { "module 1", "ch2.duty        50.0 % -> 30.0 %", "module 2",
                   "the module holds every value of stdin already; nothing written" }
            << "" << QStringList { "01", "01", "02" };
        QTest::newRow("verify: the module that differs, and exit 1")
            << QStringList { "--address", "1-3" }
            << QList<QStringList> { { "set", "-a", "3", "ch5.output=on" } }
            << QStringList { "verify", "-a", "1-3", "-", "--json" }
            << QByteArray("{\"ch5.output\":false}") << 1
            << QStringList { "\\{\"address\":1,\"differences\":\\{\\},\"ok\":true\\}",
                   "\\{\"address\":2,\"differences\":\\{\\},\"ok\":true\\}",
                   "\\{\"address\":3,\"differences\":\\{\"ch5.output\":\\{\"file\":false,"
                   "\"module\":true\\}\\},\"ok\":true\\}" }
            << "" << QStringList { "01", "02", "03" };
        // A module that does not answer has its header, as every other, and nothing under it.
        QTest::newRow("set: a silent module's block is its header")
            << QStringList { "--address", "1" } << none
            << QStringList { "set", "-a", "1,2", "-t", "50", "ch1.duty=25" } << QByteArray() << 1
            << QStringList { "module 1", "ch1.duty +25.0 %", "module 2" }
            << "pwm5ctl: module 2: ch1.duty: no reply within 50 ms" << QStringList { "01", "02" };
        QTest::newRow("verify: a silent module's block is its header")
            << QStringList { "--address", "1" } << none
            << QStringList { "verify", "-a", "1,2", "-t", "50", "-" }
            << QByteArray("{\"ch1.duty\":50}") << 1
            << QStringList { "module 1", "the module holds every value of stdin", "module 2" }
            << "pwm5ctl: module 2: no reply within 50 ms" << QStringList { "01", "02" };
        QTest::newRow("a refused file sends nothing to any module")
            << QStringList { "--address", "1-3" } << none
            << QStringList { "verify", "-a", "1-3", "-" } << QByteArray("{\"ch1.duty\":101}") << 2
            << QStringList {} << "pwm5ctl: stdin: ch1.duty: 101 is outside 0.0 to 100.0 %"
            << QStringList {};
        QTest::newRow("monitor --csv: a row per module per round")
            << QStringList { "--address", "1-2" } << none
            << QStringList { "monitor", "-a", "1,2", "--count", "2", "--interval", "0", "--csv" }
            << QByteArray() << 0
            << QStringList { "time,address,ok,.*", "[^,]+,1,true,12.34,.*", "[^,]+,2,true,.*",
                   "[^,]+,1,true,.*", "[^,]+,2,true,.*" }
            << "module 1: requests 2, ok 2; .*\nmodule 2: requests 2, ok 2; .*"
            << QStringList { "01", "02", "01", "02" };
        // adopt's own 25 ms is a module's answer time; a loaded machine may keep the
        // simulator's answer longer, and adopt would rightly call it late.
        const QStringList adopt { "adopt", "17", "-t", "150" };
        const QStringList adoptSent { "00", "00", "00", "00", "00", "00", "11", "11", "11", "11",
            "11", "11" };
        QTest::newRow("adopt: a lone module at 38400")
            << QStringList { "--address", "5", "--baud", "38400" } << none << adopt << QByteArray()
            << 0 << QStringList { "adopted: address 17 at 38400 baud" } << "" << adoptSent;
        const QString all = QStringLiteral("; modules on the line may have taken address 17");
        QTest::newRow("adopt: two modules at two rates")
            << QStringList { "--address", "1-2" }
            << QList<QStringList> { { "baud", "-a", "2", "38400" } } << adopt << QByteArray() << 1
            << QStringList {}
            << "pwm5ctl: answers at 9600, 38400 baud: more than one module is on the line" + all
            << adoptSent;
        QTest::newRow("adopt: two modules at one rate answer together")
            << QStringList { "--address", "1-2" } << none << adopt << QByteArray() << 1
            << QStringList {}
            << "pwm5ctl: bad CRC at 9600 baud: more than one module answered together" + all
            << adoptSent;
        QTest::newRow("two modules at one address are never taken for one")
            << QStringList { "--address", "1,1" } << none << QStringList { "read" } << QByteArray()
            << 1 << QStringList {} << "pwm5ctl: bad CRC" << QStringList { "01" };
    }

    void onTheBus()
    {
        QFETCH(QStringList, modules);
        QFETCH(QList<QStringList>, before);
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(QStringList, out);
        QFETCH(QString, error);
        QFETCH(QStringList, sent);
        QTemporaryDir dir;
        SimProcess sim;
        QVERIFY2(sim.start(dir.path(), modules), qPrintable(sim.output()));
        const QString rate = modules.contains("--baud") ? modules.last() : QStringLiteral("9600");
        for (const QStringList& call : before)
            QCOMPARE(pwm5ctl(dir.path(), call + QStringList { "-b", rate }).exitCode, 0);

        const Run run = pwm5ctl(dir.path(), args + QStringList { "-b", rate }, input);

        QVERIFY2(linesMatch(run.error.split(u'\n', Qt::SkipEmptyParts),
                     error.split(u'\n', Qt::SkipEmptyParts)),
            qPrintable(run.error));
        QTEST(run.exitCode, "exitCode");
        QVERIFY2(linesMatch(run.out, out), qPrintable(run.out.join(u'\n')));
        for (const QString& line : run.out)
            QVERIFY2(line.size() <= 80 || line.startsWith(u'{') || line.contains(u','),
                qPrintable(line));
        QStringList slaves;
        for (const QString& frame : run.sent)
            slaves << frame.left(2);
        QCOMPARE(slaves, sent);
    }
};

QTEST_GUILESS_MAIN(TestBusCommands)
#include "tst_bus_commands.moc"
