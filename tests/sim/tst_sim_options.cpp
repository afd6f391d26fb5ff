// The simulator's command line, read by the parser alone.

#include <QStringList>
#include <QTest>

#include <tuple>
#include <utility>
#include <vector>

#include "options.h"

namespace {

sim::ParsedOptions parse(const QStringList& args)
{
    std::vector<QByteArray> words { "pwm5-sim" };
    for (const QString& arg : args)
        words.push_back(arg.toUtf8());
    std::vector<const char*> argv;
    for (const QByteArray& word : words)
        argv.push_back(word.constData());
    argv.push_back(nullptr);
    return sim::parseOptions(static_cast<int>(words.size()), argv.data());
}

// The parse in one line: the error, or the values and switches that differ from the defaults.
QString summary(const sim::ParsedOptions& p)
{
    if (!p.error.empty())
        return QString::fromStdString(p.error);
    const sim::Options& o = p.options;
    const sim::Options d;
    const std::tuple<const char*, int, int> numbers[] { { "port", o.port, d.port },
        { "address", o.addresses.front(), d.addresses.front() }, { "baud", o.baudRate, d.baudRate },
        { "vin", o.supplyCentivolts, d.supplyCentivolts }, { "delay", o.delayMs, d.delayMs },
        { "late", o.lateMs, d.lateMs }, { "split", o.split, d.split } };
    const std::pair<const char*, bool> switches[] { { "silent-broadcast", o.silentBroadcast },
        { "no-reply", o.noReply }, { "bad-crc", o.badCrc }, { "wrong-address", o.wrongAddress },
        { "help", p.showHelp }, { "version", p.showVersion } };
    QStringList parts;
    for (const auto& [name, value, start] : numbers)
        if (value != start)
            parts << QString("%1 %2").arg(name).arg(value);
    if (!o.garbage.empty())
        parts << "garbage "
                + QByteArray::fromRawData(reinterpret_cast<const char*>(o.garbage.data()),
                    static_cast<qsizetype>(o.garbage.size()))
                      .toHex();
    for (const auto& [name, set] : switches)
        if (set)
            parts << name;
    return parts.join(", ");
}

QList<int> upTo(int first, int last)
{
    QList<int> list;
    for (int a = first; a <= last; ++a)
        list << a;
    return list;
}

} // namespace

class SimOptionsTest : public QObject {
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("summary");

        const QString portRange = "--port needs a whole number from 1 to 255";
        const QString hexNeeded = "--garbage needs hex bytes, for example FF00A5";
        QTest::newRow("none") << QStringList {} << "";
        QTest::newRow("apart") << QStringList { "--port", "2", "--vin", "0", "--split", "256" }
                               << "port 2, vin 0, split 256";
        QTest::newRow("joined") << QStringList { "--address=247", "--delay=0", "--late=60000" }
                                << "address 247, delay 0, late 60000";
        QTest::newRow("hex joined") << QStringList { "--garbage=FF00a5" } << "garbage ff00a5";
        QTest::newRow("switches") << QStringList { "--silent-broadcast", "--no-reply", "--bad-crc",
            "--wrong-address" } << "silent-broadcast, no-reply, bad-crc, wrong-address";
        QTest::newRow("later wins") << QStringList { "--port=3", "--port", "4" } << "port 4";
        QTest::newRow("prefix") << QStringList { "--addr=9" } << "address 9";
        QTest::newRow("help") << QStringList { "--help" } << "help";
        QTest::newRow("-h") << QStringList { "-h" } << "help";
        QTest::newRow("version") << QStringList { "--version" } << "version";

        QTest::newRow("empty joined") << QStringList { "--port=" } << portRange;
        QTest::newRow("empty hex") << QStringList { "--garbage=" } << hexNeeded;
        QTest::newRow("missing at end") << QStringList { "--vin", "5", "--port" } << portRange;
        QTest::newRow("above") << QStringList {
            "--address=248"
        } << "--address needs addresses 1 to 247 or ranges of them, as 1,2,17 or 1-8";
        QTest::newRow("not whole")
            << QStringList { "--delay=5ms" } << "--delay needs a whole number from 0 to 60000";
        QTest::newRow("unknown joined") << QStringList { "--rate=9600" } << "unknown option --rate";
        QTest::newRow("unknown short") << QStringList { "-x" } << "unknown option -x";
        QTest::newRow("ambiguous") << QStringList { "--s=2" } << "ambiguous option --s";
        QTest::newRow("switch with value")
            << QStringList { "--no-reply=1" } << "--no-reply takes no value";
        QTest::newRow("positional") << QStringList { "COM2" } << "unexpected argument COM2";
        QTest::newRow("after --") << QStringList { "--", "-h" } << "unexpected argument -h";
    }

    void parse()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, summary);
        QCOMPARE(::summary(::parse(args)), summary);
    }

    // Each parse starts afresh, also after one that stopped inside a group of short options.
    void parseAgain()
    {
        QCOMPARE(summary(::parse({ "-xh" })), "unknown option -x");
        QCOMPARE(summary(::parse({ "--port=7" })), "port 7");
        QCOMPARE(summary(::parse({ "--late", "1" })), "late 1");
    }

    // The modules of a line: --address LIST and --baud.
    void modules_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QList<int>>("addresses");
        QTest::addColumn<int>("baud");
        QTest::addColumn<QString>("error");

        const QString notList = "--address needs addresses 1 to 247 or ranges of them, as 1,2,17 "
                                "or 1-8";
        const QString notRate = "--baud needs one of 4800, 9600, 19200, 38400, 57600, 115200";
        const auto addresses = [](const char* list) { return QStringList { "--address", list }; };
        QTest::newRow("defaults") << QStringList {} << QList<int> { 1 } << 9600 << "";
        QTest::newRow("list") << addresses("1,2,17") << QList<int> { 1, 2, 17 } << 9600 << "";
        QTest::newRow("range") << QStringList { "--address=1-8" } << upTo(1, 8) << 9600 << "";
        QTest::newRow("both, in the order given")
            << addresses("9,1-3,2") << QList<int> { 9, 1, 2, 3, 2 } << 9600 << "";
        QTest::newRow("range of one") << addresses("4-4") << QList<int> { 4 } << 9600 << "";
        QTest::newRow("doubled") << addresses("1,1") << QList<int> { 1, 1 } << 9600 << "";
        QTest::newRow("256 modules")
            << addresses("1-247,1-9") << upTo(1, 247) + upTo(1, 9) << 9600 << "";
        QTest::newRow("later wins")
            << addresses("1-8") + addresses("3") << QList<int> { 3 } << 9600 << "";
        QTest::newRow("baud") << QStringList { "--baud", "115200" } << QList<int> { 1 } << 115200
                              << "";

        for (const char* bad :
            { "", "0", "248", "1,,2", "1,", ",1", "1-", "-3", "1-2-3", "x", "+2" })
            QTest::addRow("address \"%s\"", bad) << addresses(bad) << QList<int> {} << 0 << notList;
        QTest::newRow("reversed range") << addresses("2,8-1") << QList<int> {} << 0
                                        << "--address: the range 8-1 runs backwards";
        QTest::newRow("257 modules") << addresses("1-247,1-10") << QList<int> {} << 0
                                     << "--address: a line carries at most 256 modules";
        for (const char* bad : { "1200", "9601", "0", "19200baud", "" })
            QTest::addRow("baud \"%s\"", bad)
                << QStringList { "--baud", bad } << QList<int> {} << 0 << notRate;
    }

    void modules()
    {
        QFETCH(QStringList, args);
        QFETCH(QList<int>, addresses);
        QFETCH(int, baud);
        QFETCH(QString, error);
        const sim::ParsedOptions p = ::parse(args);
        QCOMPARE(QString::fromStdString(p.error), error);
        if (!error.isEmpty())
            return;
        QCOMPARE(QList<int>(p.options.addresses.begin(), p.options.addresses.end()), addresses);
        QCOMPARE(p.options.baudRate, baud);
    }
};

QTEST_GUILESS_MAIN(SimOptionsTest)
#include "tst_sim_options.moc"
