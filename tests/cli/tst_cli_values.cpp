#include "cli/command_table.h"
#include "cli/commands.h"
#include "cli/invocation.h"
#include "cli/options.h"
#include "text/quoted_text.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

using cli::CommandId;
using cli::Parsed;
using quoting::latin1;

Q_DECLARE_METATYPE(CommandId)

namespace {

// A call of the command with the line given, so that nothing is read from com.txt.
Parsed parsedCall(const QString& command, const QStringList& options = {})
{
    return cli::parsedInvocation(
        QStringList { "pwm5ctl", "-p", "/nonexistent/pwm5-port", "-b", "9600", command } + options);
}

} // namespace

// What pwm5ctl makes of its command line, before anything touches the line.
class TestCliValues : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString previousDir;

    // The bash completion's options per command, "scan: --bauds --addresses --all" a line, from
    // its lines such as: address | baud) options+=" --no-verify" ;;
    static QString completedOptions()
    {
        QFile file(QStringLiteral(PWM5_COMPLETION_FILE));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QRegularExpression added(
            QStringLiteral("^\\s*([a-z |]+)\\) options\\+=\" ([^\"]*)\" ;;$"),
            QRegularExpression::MultilineOption);
        QStringList lines;
        for (const auto& match : added.globalMatch(QString::fromUtf8(file.readAll())))
            for (const QString& command : match.captured(1).split(u'|'))
                lines << command.trimmed() + QStringLiteral(": ") + match.captured(2);
        return lines.join(u'\n');
    }

private slots:
    // A settings file of the window's that gives COM3 at 19200 to whatever the call leaves out.
    void initTestCase()
    {
        previousDir = QDir::currentPath();
        QDir::setCurrent(dir.path());
        QFile settings(QStringLiteral("com.txt"));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("3\r\n19200\r\n");
    }

    void cleanupTestCase() { QDir::setCurrent(previousDir); }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("wrong"); // empty: the call runs
        // port, baud, parity, data bits, stop bits, address, timeout of a call that runs
        QTest::addColumn<QString>("line");

        const QString digits(100, u'9');
        const QString cut = QString(40, u'9') + u'…';
        QTest::newRow("the settings file fills in") << QStringList { "read" } << ""
                                                    << "COM3 19200 N 8 1 1 200";
        QTest::newRow("leading zeros are digits too")
            << QStringList { "read", "-a", "007", "-t", "0100" } << ""
            << "COM3 19200 N 8 1 7 100";
        QTest::newRow("options after the command") << QStringList { "read", "-p", "/dev/ttyUSB0",
            "-b", "4800", "--parity", "even", "--data-bits", "7", "--stop-bits", "2", "-a", "247",
            "-t", "0" } << ""
                                                   << "/dev/ttyUSB0 4800 E 7 2 247 0";
        QTest::newRow("scan waits less") << QStringList { "scan" } << ""
                                         << "COM3 19200 N 8 1 1 25";
        QTest::newRow("odd parity, 6 bits")
            << QStringList { "read", "--parity", "odd", "--data-bits", "6" } << ""
            << "COM3 19200 O 6 1 1 200";
        QTest::newRow("no command") << QStringList {} << "no command; pwm5ctl --help lists them"
                                    << "";
        QTest::newRow("an unknown option")
            << QStringList { "read", "--fast" } << "unknown option 'fast'"
            << "";
        QTest::newRow("another command's option")
            << QStringList { "read", "--clamp" } << "--clamp goes with set only"
            << "";
        QTest::newRow("an option of two other commands")
            << QStringList { "set", "--no-verify", "key_lock=on" }
            << "--no-verify goes with address and baud only"
            << "";
        QTest::newRow("a scan option for monitor")
            << QStringList { "monitor", "--bauds", "9600" } << "--bauds goes with scan only"
            << "";
        QTest::newRow("a long command is cut")
            << QStringList { digits } << "unknown command " + cut << "";
        QTest::newRow("a long rate is cut")
            << QStringList { "read", "-b", digits } << "baud rate " + cut + " is not a rate"
            << "";
        QTest::newRow("a rate with a blank")
            << QStringList { "read", "-b", "9600 " } << "baud rate 9600  is not a rate"
            << "";
        QTest::newRow("a long address is cut")
            << QStringList { "read", "-a", digits } << "address " + cut + " is not 1 to 247"
            << "";
        QTest::newRow("5 data bits")
            << QStringList { "read", "--data-bits", "5" } << "data bits 5 are not 8, 7 or 6"
            << "";
        QTest::newRow("3 stop bits")
            << QStringList { "read", "--stop-bits", "3" } << "stop bits 3 are not 1 or 2"
            << "";
        QTest::newRow("a long count is cut") << QStringList { "monitor", "--count", digits }
                                             << "--count: " + cut + " is not a number of reads"
                                             << "";
        QTest::newRow("address 248")
            << QStringList { "read", "-a", "248" } << "address 248 is not 1 to 247"
            << "";
        QTest::newRow("address 0")
            << QStringList { "read", "-a", "0" } << "address 0 is not 1 to 247"
            << "";
        QTest::newRow("parity mark")
            << QStringList { "read", "--parity", "mark" } << "parity mark is not none, odd or even"
            << "";
        QTest::newRow("a rate the module lacks") << QStringList { "scan", "--bauds", "9600,1200" }
                                                 << "--bauds: 1200 is not one of the module's rates"
                                                 << "";
        QTest::newRow("a range backwards")
            << QStringList { "scan", "--addresses", "20-10" }
            << "--addresses: 20-10 is not a list of addresses 1 to 247"
            << "";
    }

    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, wrong);
        QFETCH(QString, line);
        const Parsed parsed = cli::parsedInvocation(QStringList { "pwm5ctl" } + args);
        QCOMPARE(parsed.text, wrong);
        QCOMPARE(parsed.outcome, wrong.isEmpty() ? Parsed::Outcome::Run : Parsed::Outcome::Wrong);
        if (!wrong.isEmpty())
            return;
        const cli::Invocation& call = parsed.invocation;
        QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                     .arg(call.port)
                     .arg(call.line.baud)
                     .arg(QChar::fromLatin1(call.line.parity))
                     .arg(call.line.dataBits)
                     .arg(call.line.stopBits)
                     .arg(call.address)
                     .arg(call.timeoutMs),
            line);
    }

    // Whole calls that end before the line is opened: pwm5ctl's stderr and exit status. The port
    // is a path in the scratch folder that names nothing, so a call that got past its checks
    // says so there rather than reach for a port of the system's.
    void refusedBeforeTheLine_data()
    {
        QTest::addColumn<QStringList>("args"); // after -p FOLDER/absent; %1 is the folder
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said"); // %1 is the folder

        const auto row = [](const char* name, const QStringList& args, const QString& said,
                             int exitCode = cli::kWrongCall) {
            QTest::newRow(name) << args << exitCode << QStringLiteral("pwm5ctl: ") + said;
        };
        const QString absent = QStringLiteral("%1/absent: no such device");
        // Blanks around a number are refused wherever a number is given, as -b refuses them.
        row("-a with a blank before", { "read", "-a", " 3" }, "address  3 is not 1 to 247");
        row("-a with a blank after", { "read", "-a", "3 " }, "address 3  is not 1 to 247");
        row("-a list with a blank", { "read", "-a", "1, 2" },
            "address list 1, 2 is not addresses 1 to 247, each once, ranges upwards");
        row("-t with a blank", { "read", "-t", " 100" }, "timeout  100 is not 0 to 60000 ms");
        row("-t with a sign", { "read", "-t", "-0" }, "timeout -0 is not 0 to 60000 ms");
        row("--interval with a blank", { "monitor", "--interval", " 0" },
            "--interval:  0 is not a time in ms");
        row("--count with a tab", { "monitor", "--count", "3\t" },
            "--count: 3\\x09 is not a number of reads");
        row("--settle with a blank", { "adopt", "17", "--settle", " 10" },
            "--settle:  10 is not a time in ms");
        row("--addresses with a blank", { "scan", "--addresses", " 1-3" },
            "--addresses:  1-3 is not a list of addresses 1 to 247");
        row("-b with a blank", { "read", "-b", " 9600" }, "baud rate  9600 is not a rate");
        row("--bauds with a blank", { "scan", "--bauds", "9600, 19200" },
            "--bauds:  19200 is not one of the module's rates");
        row("set with a blank", { "set", "ch1.duty= 25" }, "ch1.duty: \" 25\" is not a number");
        row("address with a blank", { "address", " 3" }, "address  3 is not 1 to 247");
        row("adopt with a blank", { "adopt", "17 " }, "address 17  is not 1 to 247");
        row("baud with a blank", { "baud", " 9600" }, "baud_rate: \" 9600\" is not a number");
        // A whole-number parameter takes no fraction, but as the window takes it with --clamp.
        row("set channel=2.5", { "set", "channel=2.5" },
            "channel: 2.5 has a fraction; channel takes whole numbers");
        row("set of a frequency with a fraction", { "set", "ch1.frequency=1000.5" },
            "ch1.frequency: 1000.5 has a fraction; ch1.frequency takes whole numbers");
        row("set channel=2.0 passes", { "set", "channel=2.0" }, absent, cli::kPortUnusable);
        row("set --clamp channel=2.5 passes", { "set", "--clamp", "channel=2.5" }, absent,
            cli::kPortUnusable);
        // What is quoted from the command line is shown with its control characters escaped.
        row("an unknown command", { "re\x1b[2Jad" }, "unknown command re\\x1b[2Jad");
        row("an unknown option", { "read", "--\x1b[31mx" }, "unknown option '\\x1b[31mx'");
        row("two unknown options", { "read", "--\u009b", "--b\x07" },
            "unknown options: \\x9b, b\\x07");
        row("an address", { "read", "-a", "\x1b[2J" }, "address \\x1b[2J is not 1 to 247");
        row("a parity",
            { "read", "--parity",
                "ev\x7f"
                "en" },
            "parity ev\\x7fen is not none, odd or even");
        row("a set argument", { "set", "\x1b]0;t\x07=1" },
            "\\x1b]0;t\\x07=1 is not NAME=VALUE with a parameter's name");
        row("a set value", { "set", "ch1.duty=\u009b" }, "ch1.duty: \"\\x9b\" is not a number");
        row("a FILE", { "apply", "%1/\x1b[31m.json" },
            "%1/\\x1b[31m.json: No such file or directory");
    }

    void refusedBeforeTheLine()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, said);
        for (QString& arg : args)
            arg.replace(QStringLiteral("%1"), dir.path());
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        cli::Console console { outStream, errStream };
        const Parsed parsed = cli::parsedInvocation(
            QStringList { "pwm5ctl", "-p", dir.filePath(QStringLiteral("absent")) } + args);
        const int status = parsed.outcome == Parsed::Outcome::Run
            ? cli::commandOf(*parsed.invocation.command)(parsed.invocation, console)
            : console.say(cli::Report::refused(parsed.text));
        errStream.flush();
        QCOMPARE(err, QString(said).replace(QStringLiteral("%1"), dir.path()) + u'\n');
        QTEST(status, "exitCode");
        QCOMPARE(out, QString());
    }

    // Each command of the table: the parser takes it to its own implementation, the help lists
    // it once, and -a's list and -t's default follow its flags.
    void commandTable_data()
    {
        QTest::addColumn<CommandId>("id");
        for (const cli::CommandEntry& entry : cli::kCommands)
            QTest::newRow(entry.name.data()) << entry.id;
    }

    void commandTable()
    {
        QFETCH(CommandId, id);
        const cli::CommandEntry& entry = cli::commandEntry(id);
        const QString name = latin1(entry.name);

        const Parsed parsed = parsedCall(name);
        QCOMPARE(parsed.text, QString());
        QCOMPARE(parsed.invocation.command, std::optional(id));
        QCOMPARE(parsed.invocation.timeoutMs, entry.probes ? 25 : 200);
        QList<cli::Command> others;
        for (const cli::CommandEntry& other : cli::kCommands)
            if (other.id != id)
                others << cli::commandOf(other.id);
        QVERIFY(cli::commandOf(id));
        QVERIFY(!others.contains(cli::commandOf(id)));

        const Parsed listed = parsedCall(name, { "-a", "1-2" });
        QCOMPARE(listed.outcome == Parsed::Outcome::Run, entry.servesList);

        const QString help = cli::parsedInvocation({ "pwm5ctl", "--help" }).text;
        const QString commands = help.section(QStringLiteral("\nCommands:\n"), 1);
        const QRegularExpression synopsis(
            QStringLiteral("^  %1( |$)").arg(name), QRegularExpression::MultilineOption);
        QCOMPARE(qsizetype(commands.count(synopsis)), qsizetype(1));
        // The COMMAND argument's words, which Qt wraps, name it too.
        const QString arguments = help.section(QStringLiteral("\nArguments:\n"), 1)
                                      .section(QStringLiteral("\n\n"), 0, 0)
                                      .simplified();
        QVERIFY2(arguments.contains(QRegularExpression(QStringLiteral("\\b%1\\b").arg(name))),
            qPrintable(arguments));
    }

    // Each option that goes with some commands only: given to every command of the table, it is
    // refused by exactly the others, and the bash completion offers it to exactly its own.
    void optionCommands_data()
    {
        QTest::addColumn<int>("option");
        for (const cli::Option& option : cli::kOptions)
            if (!option.commands.empty())
                QTest::newRow(option.longName.data()) << static_cast<int>(option.id);
    }

    void optionCommands()
    {
        QFETCH(int, option);
        const cli::Option& o = cli::kOptions[static_cast<std::size_t>(option)];
        const QString longName = QStringLiteral("--") + latin1(o.longName);
        QStringList given { longName };
        if (!o.valueName.empty())
            given << QStringLiteral("1");
        const QString completion = completedOptions();
        for (const cli::CommandEntry& entry : cli::kCommands) {
            const QString name = latin1(entry.name);
            const bool refused
                = parsedCall(name, given).text.startsWith(longName + QStringLiteral(" goes with "));
            QVERIFY2(refused != o.commands.contains(entry.id), qPrintable(name));
            const QRegularExpression offered(
                QStringLiteral("^%1:.* %2( |$)").arg(name, QRegularExpression::escape(longName)),
                QRegularExpression::MultilineOption);
            QVERIFY2(
                completion.contains(offered) == o.commands.contains(entry.id), qPrintable(name));
        }
    }

    // The completion's command words are the table's.
    void completedCommands()
    {
        QFile file(QStringLiteral(PWM5_COMPLETION_FILE));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QRegularExpression words(QStringLiteral("local commands=\"([^\"]*)\""));
        const auto match = words.match(QString::fromUtf8(file.readAll()));
        QVERIFY(match.hasMatch());
        QStringList names;
        for (const cli::CommandEntry& entry : cli::kCommands)
            names << latin1(entry.name);
        QCOMPARE(match.captured(1).split(u' '), names);
    }

    void scanOrder()
    {
        const Parsed parsed
            = cli::parsedInvocation({ "pwm5ctl", "scan", "--addresses", "9,1-3,2" });
        // The line's own rate first, then the others in the module's order.
        QCOMPARE(parsed.invocation.bauds, QList<int>({ 19200, 4800, 9600, 38400, 57600, 115200 }));
        QCOMPARE(parsed.invocation.addresses, QList<int>({ 9, 1, 2, 3 }));
    }
};

QTEST_GUILESS_MAIN(TestCliValues)
#include "tst_cli_values.moc"
