#include "cli/invocation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using cli::Parsed;

// What pwm5ctl makes of its command line, before anything touches the line.
class TestCliValues : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString previousDir;

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
