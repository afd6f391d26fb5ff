#include "support/pwm5ctl_runner.h"
#include "support/sim_process.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// pwm5ctl as a script runs it, against the module simulator linked as COM1 in a folder of the
// test's own: what it sends (its -v trace), what it prints, and its exit status.

namespace {

QJsonObject json(const Run& run)
{
    return run.out.size() == 1 ? QJsonDocument::fromJson(run.out.front().toUtf8()).object()
                               : QJsonObject();
}

} // namespace

class TestPwm5ctl : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    std::unique_ptr<SimProcess> sim;

    bool startSim(const QStringList& options)
    {
        sim = std::make_unique<SimProcess>();
        return sim->start(dir.path(), options);
    }

private slots:
    void cleanup() { sim.reset(); }

    // One command each: what goes to the module, what is printed, how the call ends.
    void command_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("printed"); // lines that stdout must hold
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("sent");

        const QStringList readAll { "01 03 00 00 00 1A C4 01" };
        QTest::newRow("read") << QStringList {} << QStringList { "read" } << 0
                              << QStringList { "address         1", "baud_rate       9600",
                                     "supply_voltage  12.34 V", "ch5.duty        50.0 %",
                                     "ch5.output      off" }
                              << "" << readAll;
        QTest::newRow("set, rounded as the window rounds, a frequency in two registers")
            << QStringList {}
            << QStringList { "set", "ch3.duty=25.55", "ch2.frequency=150000", "key_lock=on" } << 0
            << QStringList { "ch3.duty        25.6 %", "ch2.frequency   150000 Hz",
                   "key_lock        on" }
            << ""
            << QStringList { "01 06 00 0E 01 00 E9 99", "01 10 00 04 00 02 04 00 02 49 F0 64 48",
                   "01 06 00 17 00 01 F8 0E" };
        QTest::newRow("set refuses a value beyond its range before sending anything")
            << QStringList {} << QStringList { "set", "ch1.duty=50", "pwm_voltage=24.04" } << 2
            << QStringList {} << "pwm5ctl: pwm_voltage: 24.04 is outside 1.0 to 24.0 V"
            << QStringList {};
        QTest::newRow("set --clamp clamps as the window does")
            << QStringList {} << QStringList { "set", "pwm_voltage=0.96", "--clamp" } << 0
            << QStringList { "pwm_voltage     1.0 V" } << ""
            << QStringList { "01 06 00 01 00 0A 58 0D" };
        QTest::newRow("set refuses a fraction of a whole number before sending anything")
            << QStringList {} << QStringList { "set", "ch1.duty=50", "channel=2.5" } << 2
            << QStringList {} << "pwm5ctl: channel: 2.5 has a fraction; channel takes whole numbers"
            << QStringList {};
        QTest::newRow("set --clamp rounds a fraction as the window does")
            << QStringList {} << QStringList { "set", "channel=2.5", "--clamp" } << 0
            << QStringList { "channel         3" } << ""
            << QStringList { "01 06 00 16 00 03 28 0F" };
        QTest::newRow("an unknown name")
            << QStringList {} << QStringList { "set", "ch6.duty=1" } << 2 << QStringList {}
            << "pwm5ctl: ch6.duty=1 is not NAME=VALUE with a parameter's name" << QStringList {};
        QTest::newRow("an unknown command")
            << QStringList {} << QStringList { "reset" } << 2 << QStringList {}
            << "pwm5ctl: unknown command reset" << QStringList {};
        QTest::newRow("a port that is not there")
            << QStringList {} << QStringList { "read", "-p", "/nonexistent/ttyX" } << 3
            << QStringList {} << "pwm5ctl: /nonexistent/ttyX: no such device" << QStringList {};
        QTest::newRow("a list of modules, one silent, in one call")
            << QStringList {} << QStringList { "read", "-a", "2,1" } << 1
            << QStringList { "address         1", "ch5.output      off" }
            << "pwm5ctl: module 2: no reply within 200 ms"
            << QStringList { "02 03 00 00 00 1A C4 32", "01 03 00 00 00 1A C4 01" };
        for (const auto& [list, said] : {
                 std::pair { "1,1",
                     "address list 1,1 is not addresses 1 to 247, each once, ranges upwards" },
                 std::pair { "5-3",
                     "address list 5-3 is not addresses 1 to 247, each once, ranges upwards" },
             })
            QTest::newRow(qPrintable(QStringLiteral("-a %1 is refused").arg(list)))
                << QStringList {} << QStringList { "read", "-a", list } << 2 << QStringList {}
                << QStringLiteral("pwm5ctl: ") + said << QStringList {};
        for (const char* command : { "address", "baud", "scan" })
            QTest::newRow(qPrintable(QStringLiteral("%1 takes no list").arg(command)))
                << QStringList {} << QStringList { command, "19200", "-a", "1-2" } << 2
                << QStringList {}
                << QStringLiteral("pwm5ctl: %1 takes one address, not the list 1-2").arg(command)
                << QStringList {};
        QTest::newRow("no reply") << QStringList { "--no-reply" } << QStringList { "read" } << 1
                                  << QStringList {} << "pwm5ctl: no reply within 200 ms" << readAll;
        QTest::newRow("a late reply is none")
            << QStringList { "--late", "400" } << QStringList { "read" } << 1 << QStringList {}
            << "pwm5ctl: no reply within 200 ms" << readAll;
        QTest::newRow("a late reply within a longer timeout")
            << QStringList { "--late", "400" } << QStringList { "read", "-t", "2000" } << 0
            << QStringList { "supply_voltage  12.34 V" } << "" << readAll;
        QTest::newRow("a split reply")
            << QStringList { "--split", "3" } << QStringList { "read" } << 0
            << QStringList { "supply_voltage  12.34 V" } << "" << readAll;
        QTest::newRow("bad CRC") << QStringList { "--bad-crc" } << QStringList { "read" } << 1
                                 << QStringList {} << "pwm5ctl: bad CRC" << readAll;
        QTest::newRow("another slave answers")
            << QStringList { "--wrong-address" } << QStringList { "read" } << 1 << QStringList {}
            << "pwm5ctl: reply from slave 2" << readAll;
        QTest::newRow("garbage in front")
            << QStringList { "--garbage", "FF" } << QStringList { "read" } << 1 << QStringList {}
            << "pwm5ctl: reply from slave 255" << readAll;
    }

    void command()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QStringList, printed);
        QFETCH(QString, error);
        QFETCH(QStringList, sent);
        QVERIFY2(startSim(simOptions), qPrintable(sim->output()));

        const Run run = pwm5ctl(dir.path(), args);

        QCOMPARE(run.error, error);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.sent, sent);
        for (const QString& line : printed)
            QVERIFY2(run.out.contains(line), qPrintable(run.out.join(u'\n')));
        if (printed.isEmpty())
            QCOMPARE(run.out, QStringList());
    }

    // One module's settings copied to another, as a production line does: read --json, apply.
    void applyRoundTrip()
    {
        QVERIFY(startSim({}));
        const Run saved = pwm5ctl(dir.path(), { "read", "--json" });
        QCOMPARE(saved.exitCode, 0);
        const Run changed = pwm5ctl(dir.path(),
            { "set", "pwm_voltage=12.3", "ch1.frequency=65536", "ch4.duty=0", "ch5.output=on",
                "channel=3", "key_lock=on" });
        QCOMPARE(changed.exitCode, 0);

        const Run applied
            = pwm5ctl(dir.path(), { "apply", "-", "--json" }, saved.out.front().toUtf8());
        QCOMPARE(applied.error,
            "pwm5ctl: address is ignored: the address command changes it\n"
            "pwm5ctl: baud_code is ignored: the baud command changes it\n"
            "pwm5ctl: baud_rate is ignored: the baud command changes it\n"
            "pwm5ctl: supply_voltage is ignored: the module measures it");
        QCOMPARE(applied.exitCode, 0);
        // One read, then registers 0x0001 to 0x0017 in one request.
        QCOMPARE(applied.sent.size(), 2);
        QVERIFY(applied.sent[1].startsWith("01 10 00 01 00 17 2E "));
        QCOMPARE(json(applied).value("changed").toObject().keys(),
            QStringList({ "ch1.frequency", "ch4.duty", "ch5.output", "channel", "key_lock",
                "pwm_voltage" }));
        QCOMPARE(json(pwm5ctl(dir.path(), { "read", "--json" })), json(saved));

        // A key apply does not know, or a value beyond its range, is refused before anything
        // is sent.
        for (const auto& [file, said] : {
                 std::pair { R"({"channels":[{"dutty":5}]})", "unknown key channels[0].dutty" },
                 std::pair { R"({"channels":[{"frequency":1000000}]})",
                     "ch1.frequency: 1000000 is outside 1 to 150000 Hz" },
                 std::pair { R"([1,2])", "not a JSON object as read --json prints (no object)" },
                 std::pair { R"({"channel":2.5})",
                     "channel: 2.5 has a fraction; channel takes whole numbers" },
             }) {
            const Run refused = pwm5ctl(dir.path(), { "apply", "-" }, file);
            QCOMPARE(refused.exitCode, 2);
            QCOMPARE(refused.sent, QStringList());
            QCOMPARE(refused.error, QStringLiteral("pwm5ctl: stdin: ") + said);
        }
    }

    // apply and verify against the simulator's start values (5.0 V, every duty 50.0 %): what is
    // written, what is said, and nothing written that the module holds already.
    void profiles_data()
    {
        QTest::addColumn<QStringList>("args"); // the file is stdin
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("out");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("sent");

        const QByteArray rounded(R"({"pwm_voltage":12.34,"ch1.duty":25.55})");
        QTest::newRow("apply names what it rounded")
            << QStringList { "apply", "-" } << rounded << 0
            << QStringList { "pwm_voltage     5.0 V -> 12.3 V (12.34 rounded)",
                   "ch1.duty        50.0 % -> 25.6 % (25.55 rounded)" }
            << "" << 2;
        QTest::newRow("apply of what the module holds writes nothing")
            << QStringList { "apply", "-" } << QByteArray(R"({"changed":{"ch3.duty":50.04}})") << 0
            << QStringList { "the module holds every value of stdin already; nothing written" }
            << "" << 1;
        QTest::newRow("verify prints each difference")
            << QStringList { "verify", "-" } << rounded << 1
            << QStringList { "pwm_voltage: file 12.3 V (12.34 rounded), module 5.0 V",
                   "ch1.duty: file 25.6 % (25.55 rounded), module 50.0 %" }
            << "" << 1;
        QTest::newRow("verify --json of a match, ignored keys said")
            << QStringList { "verify", "-", "--json" }
            << QByteArray(R"({"address":1,"ok":true,"channels":[{"duty":50}]})") << 0
            << QStringList { R"({"address":1,"differences":{},"ok":true})" }
            << "pwm5ctl: address is ignored: the address command changes it" << 1;
        QTest::newRow("verify --json of a difference")
            << QStringList { "verify", "-", "--json" } << QByteArray(R"({"key_lock":true})") << 1
            << QStringList { R"({"address":1,"differences":{"key_lock":{"file":true,"module":false}},"ok":true})" }
            << "" << 1;
        QTest::newRow("verify refuses a value beyond its range before sending")
            << QStringList { "verify", "-" } << QByteArray(R"({"ch2.duty":100.1})") << 2
            << QStringList {} << "pwm5ctl: stdin: ch2.duty: 100.1 is outside 0.0 to 100.0 %" << 0;
        QTest::newRow("verify refuses a fraction of a whole number before sending")
            << QStringList { "verify", "-" } << QByteArray(R"({"channels":[{"frequency":1000.5}]})")
            << 2 << QStringList {}
            << "pwm5ctl: stdin: ch1.frequency: 1000.5 has a fraction; ch1.frequency takes whole "
               "numbers"
            << 0;
        QTest::newRow("verify needs a file")
            << QStringList { "verify" } << QByteArray() << 2 << QStringList {}
            << "pwm5ctl: verify needs one FILE (- for stdin)" << 0;
    }

    void profiles()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, file);
        QVERIFY(startSim({}));
        const Run run = pwm5ctl(dir.path(), args, file);
        QTEST(run.error, "error");
        QTEST(run.out, "out");
        QTEST(run.exitCode, "exitCode");
        QTEST(static_cast<int>(run.sent.size()), "sent");
    }

    // monitor's three forms, of one module and of two (module 2 stays silent): every line of
    // stdout, as patterns; times are ISO 8601 with the UTC offset.
    void monitorForms_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("out");
        QTest::addColumn<QStringList>("err");

        const QString time
            = QStringLiteral("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d");
        const QString values = QStringLiteral("12.34,5.0,1,false(,1000,50.0,false){5}");
        QTest::newRow("text: a round without change says nothing")
            << QStringList { "monitor", "--count", "3", "--interval", "0" } << 0
            << QStringList { time + "  baud_rate 9600  supply_voltage 12.34 V  .*ch5.output off",
                   "requests 3, ok 3; round trip .*" }
            << QStringList {};
        QTest::newRow("text of two modules")
            << QStringList { "monitor", "-a", "1,2", "--count", "2", "--interval", "0", "-t",
                   "300" }
            << 1
            << QStringList { time + "  module 1  baud_rate 9600  .*",
                   time + "  module 2  no reply within 300 ms",
                   time + "  module 2  no reply within 300 ms",
                   "module 1: requests 2, ok 2; round trip .*",
                   "module 2: requests 2, ok 0, no reply 2" }
            << QStringList {};
        QTest::newRow("CSV of two modules")
            << QStringList { "monitor", "-a", "1,2", "--count", "2", "--interval", "0", "-t", "300",
                   "--csv" }
            << 1
            << QStringList { "time,address,ok,supply_voltage,pwm_voltage,channel,key_lock,"
                             "ch1.frequency,ch1.duty,ch1.output,ch2.frequency,ch2.duty,ch2.output,"
                             "ch3.frequency,ch3.duty,ch3.output,ch4.frequency,ch4.duty,ch4.output,"
                             "ch5.frequency,ch5.duty,ch5.output",
                   time + ",1,true," + values, time + ",2,false,{19}", time + ",1,true," + values,
                   time + ",2,false,{19}" }
            << QStringList { "pwm5ctl: " + time + "  module 2  no reply within 300 ms",
                   "pwm5ctl: " + time + "  module 2  no reply within 300 ms",
                   "module 1: requests 2, ok 2; round trip .*",
                   "module 2: requests 2, ok 0, no reply 2" };
        QTest::newRow("JSON of two modules")
            << QStringList { "monitor", "-a", "1,2", "--count", "1", "--interval", "0", "-t", "300",
                   "--json" }
            << 1
            << QStringList { "\\{\"address\":1,.*\"ok\":true,.*\"time\":\"" + time + "\"\\}",
                   "\\{\"address\":2,\"error\":\"no reply within 300 ms\",\"failure\":\"no_reply\","
                   "\"ok\":false,\"time\":\""
                       + time + "\"\\}",
                   "\\{\"address\":1,\"statistics\":\\{.*\"ok\":1,.*\\},\"time\":\"" + time
                       + "\"\\}",
                   "\\{\"address\":2,\"statistics\":\\{.*\"no_reply\":1,.*\\},\"time\":\".*\"\\}" }
            << QStringList {};
    }

    void monitorForms()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, out);
        QFETCH(QStringList, err);
        QVERIFY(startSim({}));
        const Run run = pwm5ctl(dir.path(), args);
        QTEST(run.exitCode, "exitCode");
        QVERIFY2(linesMatch(run.out, out), qPrintable(run.out.join(u'\n')));
        const QStringList errors = run.error.split(u'\n', Qt::SkipEmptyParts);
        QVERIFY2(linesMatch(errors, err), qPrintable(run.error));
    }

    // adopt against the simulator, which starts at address 1 and 9600 baud: six broadcasts, a
    // read at NEW at each rate, and with a RATE the baud write and its confirming read.
    void adopt_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("out");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("sent"); // frames; -1: any number

        const QString all = QStringLiteral("; modules on the line may have taken address 17");
        // A timeout that holds with both cores busy, against which the simulator is late by
        // --delay: the texts do not depend on when the scheduler lets it answer. A late module
        // keeps its echoes of the broadcasts to itself, which would come as late, while adopt
        // listens.
        const QStringList patient { "-t", "150" };
        QTest::newRow("a new address")
            << QStringList {} << QStringList { "adopt", "17" } + patient << 0
            << QStringList { "adopted: address 17 at 9600 baud" } << "" << 12;
        QTest::newRow("and a new rate")
            << QStringList {} << QStringList { "adopt", "247", "115200", "--json" } + patient << 0
            << QStringList {} << "" << 14;
        // The address went out in every broadcast: a module that did not answer has it now.
        QTest::newRow("nothing answers")
            << QStringList { "--no-reply" } << QStringList { "adopt", "17", "--json" } << 1
            << QStringList { "{\"error\":\"no module answers at address 17 at any rate" + all
                   + "\",\"failure\":\"no_reply\",\"ok\":false}" }
            << "pwm5ctl: no module answers at address 17 at any rate" + all << 12;
        // Its reply comes after the timeout, while adopt listens on at that rate: it is named
        // late there, never taken for an answer at the next rate.
        QTest::newRow("a slow module answers too late")
            << QStringList { "--delay", "230", "--silent-broadcast" }
            << QStringList { "adopt", "17" } + patient << 1 << QStringList {}
            << "pwm5ctl: a module answered at 9600 baud after the timeout (150 ms); give adopt a "
               "longer -t"
                + all
            << -1;
        // A garbled answer is two modules that answered together. It may come after the
        // timeout, as the simulator is told or as the scheduler makes it: then adopt listens on
        // at that rate and names it late, at the rate it was sent for, never taking it for a
        // slow module or for an answer at the next rate.
        QTest::newRow("a garbled answer is two modules")
            << QStringList { "--bad-crc" } << QStringList { "adopt", "17", "--json" } + patient << 1
            << QStringList { "{\"error\":\"bad CRC at 9600 baud: more than one module answered "
                             "together"
                   + all + "\",\"failure\":\"bad_crc\",\"ok\":false}" }
            << "pwm5ctl: bad CRC at 9600 baud: more than one module answered together" + all << 12;
        QTest::newRow("a garbled answer after the timeout")
            << QStringList { "--bad-crc", "--delay", "230", "--silent-broadcast" }
            << QStringList { "adopt", "17", "--json" } + patient << 1
            << QStringList { "{\"error\":\"bad CRC at 9600 baud after the timeout (150 ms): more "
                             "than one module answered together"
                   + all + "\",\"failure\":\"bad_crc\",\"ok\":false}" }
            << "pwm5ctl: bad CRC at 9600 baud after the timeout (150 ms): more than one module "
               "answered together"
                + all
            << 12;
        QTest::newRow("a rate the module lacks")
            << QStringList {} << QStringList { "adopt", "17", "1200" } << 2 << QStringList {}
            << "pwm5ctl: baud_rate: 1200 is not one of 4800, 9600, 19200, 38400, 57600, 115200"
            << 0;
        QTest::newRow("no address")
            << QStringList {} << QStringList { "adopt" } << 2 << QStringList {}
            << "pwm5ctl: adopt needs NEW and may take a RATE" << 0;
        QTest::newRow("the broadcast address")
            << QStringList {} << QStringList { "adopt", "0" } << 2 << QStringList {}
            << "pwm5ctl: address 0 is not 1 to 247" << 0;
    }

    void adopt()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(QStringList, args);
        QFETCH(QStringList, out);
        QFETCH(int, sent);
        QVERIFY(startSim(simOptions));
        const Run run = pwm5ctl(dir.path(), args);
        QFETCH(QString, error);
        // Expected texts are literal but for ".*".
        const auto patterns = [](const QStringList& texts) {
            QStringList escaped;
            for (const QString& text : texts)
                escaped << QRegularExpression::escape(text).replace("\\.\\*", ".*");
            return escaped;
        };
        QVERIFY2(linesMatch({ run.error }, patterns({ error })), qPrintable(run.error));
        QTEST(run.exitCode, "exitCode");
        if (args.contains("--json") && run.exitCode == 0) {
            const QJsonObject adopted = json(run);
            QCOMPARE(adopted.value("address").toInt(), args[1].toInt());
            QCOMPARE(adopted.value("baud_rate").toInt(), args[2].toInt());
            QVERIFY(adopted.value("ok").toBool());
            QVERIFY(adopted.value("seconds").toDouble() > 0);
            // The module is where adopt says.
            const Run read = pwm5ctl(dir.path(), { "read", "-a", args[1], "-b", args[2] });
            QCOMPARE(read.exitCode, 0);
        } else {
            QVERIFY2(linesMatch(run.out, patterns(out)), qPrintable(run.out.join(u'\n')));
        }
        if (sent >= 0)
            QCOMPARE(run.sent.size(), sent);
        if (sent != 0)
            QCOMPARE(run.sent.mid(0, 6), QStringList(6, run.sent.front()));
        if (sent > 0)
            QVERIFY(run.sent.front().startsWith("00 06 00 00 00 "));
    }

    // A module moved to another address and rate is lost to the defaults, and found by a scan.
    void scanFindsAMovedModule()
    {
        QVERIFY(startSim({}));
        const Run moved = pwm5ctl(dir.path(), { "address", "17" });
        QCOMPARE(moved.error, QString());
        QCOMPARE(moved.sent, QStringList({ "00 06 00 00 00 11 48 17", "11 03 00 00 00 01 86 9A" }));
        const Run faster = pwm5ctl(dir.path(), { "-a", "17", "baud", "38400" });
        QCOMPARE(faster.error, QString());
        QCOMPARE(
            faster.sent, QStringList({ "11 06 00 18 00 03 4B 5C", "11 03 00 18 00 01 06 9D" }));
        QCOMPARE(pwm5ctl(dir.path(), { "read" }).exitCode, 1);

        const Run scan = pwm5ctl(
            dir.path(), { "scan", "--bauds", "9600,38400", "--addresses", "15-20", "--json" });
        QCOMPARE(scan.exitCode, 0);
        const QJsonObject found = json(scan);
        QCOMPARE(found.value("probes").toInt(), 9);
        QCOMPARE(QJsonDocument(found.value("found").toArray()).toJson(QJsonDocument::Compact),
            QByteArray(R"([{"address":17,"baud_rate":38400,"supply_voltage":12.34}])"));
        QCOMPARE(
            pwm5ctl(dir.path(), { "scan", "--bauds", "9600", "--addresses", "15-20" }).exitCode, 1);
    }

    void monitorCountsWhatHappened_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("statistics");

        QTest::newRow("all good")
            << QStringList {} << 0
            << R"("bad_crc":0,"exception":0,"no_reply":0,"ok":3,"port":0,"requests":3)";
        QTest::newRow("no reply")
            << QStringList { "--no-reply" } << 1
            << R"("bad_crc":0,"exception":0,"no_reply":3,"ok":0,"port":0,"requests":3,"round_trip_ms":null)";
        QTest::newRow("bad CRC")
            << QStringList { "--bad-crc" } << 1
            << R"("bad_crc":3,"exception":0,"no_reply":0,"ok":0,"port":0,"requests":3,"round_trip_ms":null)";
    }

    void monitorCountsWhatHappened()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(int, exitCode);
        QFETCH(QString, statistics);
        QVERIFY(startSim(simOptions));
        const Run run
            = pwm5ctl(dir.path(), { "monitor", "--count", "3", "--interval", "0", "--json" });
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.sent.size(), 3);
        QCOMPARE(run.out.size(), 4);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(QJsonDocument::fromJson(run.out[i].toUtf8()).object().value("ok").toBool(),
                exitCode == 0);
        QVERIFY2(run.out.back().startsWith(R"({"address":1,"statistics":{)" + statistics),
            qPrintable(run.out.back()));
    }
};

QTEST_GUILESS_MAIN(TestPwm5ctl)
#include "tst_pwm5ctl.moc"
