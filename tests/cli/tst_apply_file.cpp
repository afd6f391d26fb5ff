#include "cli/apply_file.h"
#include "cli/repeated_keys.h"
#include "text/quoted_text.h"

#include "device/parameter_value.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

// What apply makes of a file before it touches the line: the assignments, or the one line that
// says what is wrong.
class TestApplyFile : public QObject {
    Q_OBJECT

private slots:
    void assignments_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("expected"); // "name=units ..." or what is wrong

        QTest::newRow("a file as read --json prints")
            << QByteArray(R"({"address":7,"baud_code":1,"baud_rate":9600,"channel":2,)"
                          R"("channels":[{"duty":25.55,"frequency":150000,"output":true},{},)"
                          R"({"output":false}],"key_lock":false,"pwm_voltage":12.3,)"
                          R"("supply_voltage":12.34})")
            << "channel=2 ch1.duty=256~25.55 ch1.frequency=150000 ch1.output=1 ch3.output=0 "
               "key_lock=0 pwm_voltage=123 | address is ignored: the address command changes it "
               "| baud_code is ignored: the baud command changes it | baud_rate is ignored: the "
               "baud command changes it | supply_voltage is ignored: the module measures it";
        QTest::newRow("only ignored keys")
            << QByteArray(R"({"baud_rate":"fast","baud_code":null,"ok":true,"time":"x"})")
            << "| baud_code is ignored: the baud command changes it | baud_rate is ignored: the "
               "baud command changes it";
        QTest::newRow("script names, as set prints them")
            << QByteArray(R"({"ch2.duty":25.5,"ch5.output":true,"pwm_voltage":12.34})")
            << "ch2.duty=255 ch5.output=1 pwm_voltage=123~12.34";
        QTest::newRow("the changed object apply prints")
            << QByteArray(R"({"changed":{"ch1.frequency":1000,"key_lock":true}})")
            << "ch1.frequency=1000 key_lock=1";
        QTest::newRow("a nested key in the changed object")
            << QByteArray(R"({"changed":{"channels":[]}})") << "unknown key channels";
        QTest::newRow("one parameter in two forms")
            << QByteArray(R"({"ch1.duty":5,"channels":[{"duty":6}]})")
            << "ch1.duty is given twice; a file gives each value once";
        QTest::newRow("a failed module's line holds no profile") << QByteArray(
            R"({"address":1,"ok":false,"failure":"no_reply"})") << "unknown key failure";
        QTest::newRow("an unknown key") << QByteArray(R"({"volts":5})") << "unknown key volts";
        QTest::newRow("an unknown key in a channel")
            << QByteArray(R"({"channels":[{},{"dutty":5}]})") << "unknown key channels[1].dutty";
        QTest::newRow("a channel's key at the top")
            << QByteArray(R"({"duty":5})") << "unknown key duty";
        QTest::newRow("a long unknown key is cut") << QByteArray(
            "{\"" + QByteArray(100, 'k') + "\":1}") << "unknown key " + QString(40, u'k') + u'…';
        QTest::newRow("a switch as a number")
            << QByteArray(R"({"key_lock":1})") << "key_lock is not true or false";
        QTest::newRow("a number as text") << QByteArray(R"({"channels":[{"frequency":"1000"}]})")
                                          << "channels[0].frequency is not a number";
        QTest::newRow("beyond its range") << QByteArray(R"({"pwm_voltage":24.04})")
                                          << "pwm_voltage: 24.04 is outside 1.0 to 24.0 V";
        QTest::newRow("a huge number is cut")
            << QByteArray(R"({"channels":[{"duty":1e300}]})")
            << "ch1.duty: 1" + QString(39, u'0') + "… is outside 0.0 to 100.0 %";
        QTest::newRow("a fraction of a whole number") << QByteArray(
            R"({"channel":2.5})") << "channel: 2.5 has a fraction; channel takes whole numbers";
        QTest::newRow("a fraction of a frequency in a channel")
            << QByteArray(R"({"channels":[{"frequency":1000.5}]})")
            << "ch1.frequency: 1000.5 has a fraction; ch1.frequency takes whole numbers";
        QTest::newRow("a whole number written with a point") << QByteArray(
            R"({"channel":2.0,"ch2.frequency":1000.000})") << "ch2.frequency=1000 channel=2";
        QTest::newRow("an escape sequence as a key, spelt and raw") << QByteArray(
            "{\"\\u001b[31mx\x1b]0;t\x07\":1}") << "unknown key \\x1b[31mx\\x1b]0;t\\x07";
        QTest::newRow("NUL given twice as a key")
            << QByteArray(R"({"\u0000":1,"\u0000":2})")
            << "key \\x00 is given twice; a file gives each value once";
        QTest::newRow("channels not a list") << QByteArray(R"({"channels":{"duty":5}})")
                                             << "channels is not a list of at most 5 channels";
        QTest::newRow("six channels") << QByteArray(R"({"channels":[{},{},{},{},{},{}]})")
                                      << "channels is not a list of at most 5 channels";
        QTest::newRow("a channel not an object")
            << QByteArray(R"({"channels":[{},5]})") << "channels[1] is not an object";
        QTest::newRow("a key twice, the bad value first")
            << QByteArray(R"({"pwm_voltage":99,"pwm_voltage":6})")
            << "key pwm_voltage is given twice; a file gives each value once";
        QTest::newRow("a key twice, the bad value last")
            << QByteArray(R"({"pwm_voltage":6,"pwm_voltage":99})")
            << "key pwm_voltage is given twice; a file gives each value once";
        QTest::newRow("a key twice in a channel, one spelt with an escape")
            << QByteArray("{\"channels\":[{},{\"duty\":5,\"du\\u0074y\":6}]}")
            << "key channels[1].duty is given twice; a file gives each value once";
        QTest::newRow("the same key in two channels and in a text")
            << QByteArray("{\"channels\":[{\"duty\":5},{\"duty\":6}],\"x\\\",\":1}")
            << "unknown key x\",";
        QTest::newRow("a key twice deep in lists")
            << QByteArray(R"({"a":[{},[{"k":1,"k":2}]]})")
            << "key a[1][0].k is given twice; a file gives each value once";
        QTest::newRow("a list") << QByteArray("[1,2]")
                                << "not a JSON object as read --json prints (no object)";
        QTest::newRow("cut short")
            << QByteArray(R"({"pwm_voltage":)")
            << "not a JSON object as read --json prints (unterminated object)";
    }

    void assignments()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, expected);
        const auto profile = cli::applyFileProfile(file);
        QStringList got;
        if (profile) {
            for (const cli::Assignment& a : profile->assignments)
                got << quoting::latin1(a.parameter->name) + u'=' + QString::number(a.units)
                        + (a.rounded.isEmpty() ? QString() : u'~' + a.rounded);
            for (const cli::IgnoredKey& ignored : profile->ignored)
                got << u'|' + QStringLiteral(" ") + cli::ignoredText(ignored);
        }
        QCOMPARE(profile ? got.join(u' ') : profile.error(), expected);
    }

    // The scan for keys given twice reads no byte past its input, whatever the input.
    void scannedKeys_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("found"); // "unique", "malformed" or the place of the key

        const QByteArray deep(1024, '[');
        QTest::newRow("an object")
            << QByteArray(" {\"a\":[1,-2.5e3,true,null,\"}\"]} ") << "unique";
        QTest::newRow("after a byte order mark")
            << QByteArray("\xEF\xBB\xBF{\"a\":1,\"a\":2}") << "a";
        QTest::newRow("the same key in two objects")
            << QByteArray(R"([{"a":1},{"a":2}])") << "unique";
        QTest::newRow("keys that differ by an escape")
            << QByteArray("{\"a\\\"\":1,\"a\\\\\":2,\"a\\/\":3,\"a/\":4}") << "a/";
        QTest::newRow("a byte order mark within a key is part of it")
            << QByteArray("{\"\\u0041\xEF\xBB\xBF\":1,\"A\":2}") << "unique";
        QTest::newRow("1024 levels") << deep + QByteArray(1024, ']') << "unique";
        QTest::newRow("1025 levels") << deep + "[]" + QByteArray(1024, ']') << "malformed";
        QTest::newRow("a scalar alone") << QByteArray("1") << "malformed";
        QTest::newRow("a comma before the end") << QByteArray("[1,]") << "malformed";
        QTest::newRow("garbage after") << QByteArray("{}x") << "malformed";
        for (const char* cut :
            { "{\"a", "{\"a\":\"\\", "{\"a\":\"\\u12", "{\"a\":tru", "{\"a\":1" })
            QTest::addRow("cut short: %s", cut) << QByteArray(cut) << "malformed";
    }

    void scannedKeys()
    {
        QFETCH(QByteArray, text);
        // A copy of exactly its size: the sanitizer sees a read beyond it.
        const std::unique_ptr<char[]> bytes(new char[static_cast<std::size_t>(text.size())]);
        std::copy(text.begin(), text.end(), bytes.get());
        const cli::KeyScan scan = cli::scannedKeys(QByteArrayView(bytes.get(), text.size()));
        using enum cli::KeyScan::Outcome;
        QTEST(scan.outcome == Unique        ? "unique"
                : scan.outcome == Malformed ? "malformed"
                                            : scan.place,
            "found");
    }

    void content_data()
    {
        QTest::addColumn<QString>("name"); // inside a scratch folder; empty: the path itself
        QTest::addColumn<QString>("said");

        QTest::newRow("an empty path") << ""
                                       << "no FILE given (- for stdin)";
        QTest::newRow("no such file") << "absent.json"
                                      << "%1: No such file or directory";
        QTest::newRow("a folder") << "."
                                  << "%1: is a folder";
        QTest::newRow("a name with an escape sequence") << "\x1b[2Jprofile.json"
                                                        << "%1: No such file or directory";
    }

    // Refused with the message alone: nothing from Qt on stderr.
    void content()
    {
        QFETCH(QString, name);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString path = name.isEmpty() ? name : dir.filePath(name);
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
        const auto content = cli::applyFileContent(path);
        QVERIFY(!content);
        const QString shown = QString(path).replace(u'\x1b', QStringLiteral("\\x1b"));
        QCOMPARE(content.error(), said.contains(u'%') ? said.arg(shown) : said);
    }
};

QTEST_GUILESS_MAIN(TestApplyFile)
#include "tst_apply_file.moc"
