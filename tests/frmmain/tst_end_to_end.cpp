#include "panel_view.h"
#include "support/device_server.h"
#include "support/local_ports.h"
#include "support/pwm5ctl_runner.h"
#include "support/sim_process.h"
#include "window_fixture.h"

#include <QTest>

// The window against the module simulator pwm5-sim, driven by clicks as an operator drives it.
// The simulator runs in the window's folder and links its pseudo-terminal there as COM2, so no
// system serial port is touched. Every exchange ends when Message_Show reads the outcome, about
// 260 ms after the click.

using namespace panelview;

namespace {

const QString kReplyGood = QStringLiteral("通讯数据正常！");
const QString kReplyBad = QStringLiteral("通讯数据错误！");
const QString kOpen = QStringLiteral("打开串口");
const QString kClose = QStringLiteral("关闭串口");

constexpr int kSimPort = 2;

// Bound of waiting for the window to judge a reply; generous for sanitizer builds under load.
constexpr int kJudgeMs = 5000;

// The read-all request to slave 1, as it stands on the line.
const QString kReadAllTrace = QStringLiteral("01 03 00 00 00 1A C4 01 ");

// The simulator's registers 0x0001 to 0x0019 at start, as the reply to a read carries them:
// 5.0 V, 1000 Hz (high word, low word) and 50.0 % per channel, outputs off, channel 1,
// keys unlocked, baud code 1, the unused register.
const QString kStartRegistersFrom1 = QStringLiteral("00 32 "
                                                    "00 00 03 E8 00 00 03 E8 00 00 03 E8 "
                                                    "00 00 03 E8 00 00 03 E8 "
                                                    "01 F4 01 F4 01 F4 01 F4 01 F4 "
                                                    "00 00 00 00 00 00 00 00 00 00 "
                                                    "00 01 00 00 00 01 00 00 ");

// The panel after a read of the simulator's start registers, supply voltage aside.
Panel startPanel()
{
    Panel panel { { "Text3", "5.0" }, { "Text12", "1" }, { "Combo6", "9600" },
        { "Command5", "UnLock" }, { "Label15(0)", kWhite } };
    for (const char* frequency : { "Text4", "Text5", "Text10", "Text11", "Text13" })
        panel.insert(frequency, "1000");
    for (const char* duty : { "Text6", "Text7", "Text8", "Text9", "Text14" })
        panel.insert(duty, "50.0");
    for (const char* output : { "Command4", "Command6", "Command7", "Command8", "Command9" })
        panel.insert(output, "OFF");
    for (int i = 1; i <= 5; ++i)
        panel.insert(QStringLiteral("Label15(%1)").arg(i), kWhite);
    return panel;
}

// Field texts that no module register of the simulator gives, so a decode shows.
Panel unlikePanel()
{
    Panel panel;
    for (qsizetype i = 0; i < kParameterFields.size(); ++i)
        panel.insert(kParameterFields[i], QString::number(i + 2));
    return panel;
}

// Starts the simulator linked as COM2 in the window's folder, then the window on COM2 at
// 9600 baud, and opens the port. Returns what went wrong; empty when the port is open.
QString startOnSimulator(WindowFixture& f, SimProcess& sim, const QStringList& simOptions)
{
    if (!sim.start(f.dir.path(), simOptions, kSimPort))
        return QStringLiteral("simulator did not start: ") + sim.output();
    f.writeSettings("2\r\n9600\r\n");
    f.start();
    f.button("Command1")->click();
    if (f.button("Command1")->text() != kClose)
        return QStringLiteral("port not opened: ") + f.messages->texts.join(' ');
    return {};
}

// A fresh window on the same folder, knowing nothing of the module, with its port open.
QString restartWindow(WindowFixture& f)
{
    f.start();
    f.button("Command1")->click();
    if (f.button("Command1")->text() != kClose)
        return QStringLiteral("port not reopened: ") + f.messages->texts.join(' ');
    return {};
}

// Clicks a command button and waits for the window to judge the reply: the text of
// Message_Show, or what went wrong instead.
QString outcomeOf(const WindowFixture& f, const char* button)
{
    QLineEdit* status = f.field("Message_Show");
    f.button(button)->click();
    if (!f.messages->texts.isEmpty())
        return QStringLiteral("message box: ") + f.messages->texts.join(' ');
    if (!status->text().isEmpty())
        return QStringLiteral("status not emptied by the click: ") + status->text();
    if (!QTest::qWaitFor([status] { return !status->text().isEmpty(); }, kJudgeMs))
        return QStringLiteral("no outcome within %1 ms").arg(kJudgeMs);
    return status->text();
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void readAllFillsThePanel_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<QString>("supply");
        QTest::addColumn<QString>("supplyRegister");
        QTest::newRow("9.87 V") << QStringList { "--vin", "987" } << QString("9.87V") << "03 DB";
        QTest::newRow("0.05 V") << QStringList { "--vin", "5" } << QString("0.05V") << "00 05";
        QTest::newRow("655.35 V, the register's top")
            << QStringList { "--vin", "65535" } << QString("655.35V") << "FF FF";
    }

    void readAllFillsThePanel()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(QString, supply);
        QFETCH(QString, supplyRegister);
        WindowFixture f;
        SimProcess sim;
        QCOMPARE(startOnSimulator(f, sim, simOptions), QString());
        enter(*f.window, unlikePanel());
        f.pick("Combo6", "4800");

        QCOMPARE(outcomeOf(f, "Command3"), kReplyGood);
        QCOMPARE(f.field("Text1(0)")->text(), kReadAllTrace);
        const QString reply = f.field("Text2")->text();
        QCOMPARE(reply.size(), 171); // 57 bytes
        QCOMPARE(reply.first(165), "01 03 34 " + supplyRegister + ' ' + kStartRegistersFrom1);
        Panel expected = startPanel();
        expected.insert("Label19", supply);
        QCOMPARE(mismatches(*f.window, expected), QString());
        QCOMPARE(f.messages->texts, QStringList());
    }

    // Distinct values per channel, frequencies on both sides of the word boundary.
    void writeAllThenReadAllShowsTheValuesWritten()
    {
        WindowFixture f;
        SimProcess sim;
        QCOMPARE(startOnSimulator(f, sim, {}), QString());
        const Panel typed { { "Text3", "12.3" }, { "Text12", "4" }, { "Text4", "1007" },
            { "Text5", "65535" }, { "Text10", "65536" }, { "Text11", "100003" },
            { "Text13", "150000" }, { "Text6", "10.5" }, { "Text7", "20.5" }, { "Text8", "30" },
            { "Text9", "40.5" }, { "Text14", "100" } };
        enter(*f.window, typed);

        QCOMPARE(outcomeOf(f, "Command2"), kReplyGood);
        QCOMPARE(f.field("Text2")->text(), QStringLiteral("01 10 00 01 00 18 91 C3 "));

        enter(*f.window, unlikePanel());
        f.pick("Combo6", "4800");
        QCOMPARE(outcomeOf(f, "Command3"), kReplyGood);
        Panel expected = typed;
        expected.insert("Text8", "30.0");
        expected.insert("Text14", "100.0");
        expected.insert("Label19", "12.34V"); // measured by the module, never written
        expected.insert("Combo6", "9600");
        for (const char* output : { "Command4", "Command6", "Command7", "Command8", "Command9" })
            expected.insert(output, "OFF");
        expected.insert("Command5", "UnLock");
        QCOMPARE(mismatches(*f.window, expected), QString());
        QCOMPARE(f.messages->texts, QStringList());
    }

    void toggleSetsTheModuleRegister_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("indicator");
        QTest::addColumn<QString>("onCaption");
        QTest::addColumn<QString>("offCaption");
        QTest::addColumn<QString>("onColour");
        QTest::addColumn<QString>("echoOn");
        QTest::addColumn<QString>("echoOff");
        const auto row = [](const char* name, const char* button, const char* indicator,
                             const QString& on, const QString& off, const QString& onColour,
                             const char* echoOn, const char* echoOff) {
            QTest::newRow(name) << QString(button) << QString(indicator) << on << off << onColour
                                << QString(echoOn) << QString(echoOff);
        };
        row("CH1 output, 0x0011", "Command4", "Label15(1)", "ON", "OFF", kGreen,
            "01 06 00 11 00 01 18 0F ", "01 06 00 11 00 00 D9 CF ");
        row("CH2 output, 0x0012", "Command6", "Label15(2)", "ON", "OFF", kGreen,
            "01 06 00 12 00 01 E8 0F ", "01 06 00 12 00 00 29 CF ");
        row("CH3 output, 0x0013", "Command7", "Label15(3)", "ON", "OFF", kGreen,
            "01 06 00 13 00 01 B9 CF ", "01 06 00 13 00 00 78 0F ");
        row("CH4 output, 0x0014", "Command8", "Label15(4)", "ON", "OFF", kGreen,
            "01 06 00 14 00 01 08 0E ", "01 06 00 14 00 00 C9 CE ");
        row("CH5 output, 0x0015", "Command9", "Label15(5)", "ON", "OFF", kGreen,
            "01 06 00 15 00 01 59 CE ", "01 06 00 15 00 00 98 0E ");
        row("key lock, 0x0017", "Command5", "Label15(0)", "Lock", "UnLock", kRed,
            "01 06 00 17 00 01 F8 0E ", "01 06 00 17 00 00 39 CE ");
    }

    // The module holds what a toggle sent: a fresh window, which starts with every switch off,
    // reads it back on, and after the next click reads it back off. The other switches stay off.
    void toggleSetsTheModuleRegister()
    {
        QFETCH(QString, button);
        QFETCH(QString, indicator);
        QFETCH(QString, onCaption);
        QFETCH(QString, offCaption);
        QFETCH(QString, onColour);
        QFETCH(QString, echoOn);
        QFETCH(QString, echoOff);
        WindowFixture f;
        SimProcess sim;
        QCOMPARE(startOnSimulator(f, sim, {}), QString());
        const QByteArray name = button.toLatin1();

        QCOMPARE(outcomeOf(f, name.constData()), kReplyGood);
        QCOMPARE(f.field("Text2")->text(), echoOn);

        QCOMPARE(restartWindow(f), QString());
        QCOMPARE(shown(*f.window, button), offCaption);
        QCOMPARE(outcomeOf(f, "Command3"), kReplyGood);
        Panel expected = startPanel();
        expected.insert(button, onCaption);
        expected.insert(indicator, onColour);
        QCOMPARE(mismatches(*f.window, expected), QString());

        QCOMPARE(outcomeOf(f, name.constData()), kReplyGood);
        QCOMPARE(f.field("Text2")->text(), echoOff);
        QCOMPARE(outcomeOf(f, "Command3"), kReplyGood);
        QCOMPARE(mismatches(*f.window, startPanel()), QString());
        QCOMPARE(f.messages->texts, QStringList());
    }

    void networkLineNamedByAComFile_data()
    {
        QTest::addColumn<QString>("server");
        QTest::newRow("raw TCP") << "raw";
        QTest::newRow("RFC 2217") << "rfc2217";
        QTest::newRow("the bridge's RTU face") << "bridge";
    }

    // COM3 is a file naming a port of ser2net, or the RTU face of the bridge that owns the
    // line, in front of the simulator: open, read all, write all, a toggle and close go as on
    // a serial port.
    void networkLineNamedByAComFile()
    {
        QFETCH(QString, server);
        WindowFixture f;
        SimProcess sim;
        DeviceServer ser2net;
        RunningPwm5ctl bridge;
        QVERIFY2(sim.start(f.dir.path(), {}, kSimPort), qPrintable(sim.output()));
        QString address;
        if (server == u"bridge") {
            const quint16 port = freeLocalPort();
            bridge.start(f.dir.path(),
                { "-p", sim.devicePath(), "--interval", "60000", "bridge", "--rtu-tcp",
                    QString::number(port) });
            QVERIFY(bridge.waitForLine(
                QProcess::StandardError, "pwm5ctl: --rtu-tcp: serving the line", 30000));
            address = QStringLiteral("tcp:127.0.0.1:%1").arg(port);
        } else {
            QVERIFY2(ser2net.start(f.dir.path(), sim.devicePath()), qPrintable(ser2net.output()));
            address = server == u"rfc2217" ? ser2net.rfc2217Address() : ser2net.rawAddress();
        }
        QFile com3(f.dir.filePath("COM3"));
        QVERIFY(com3.open(QIODevice::WriteOnly));
        com3.write(address.toUtf8() + '\n');
        com3.close();
        f.writeSettings("3\r\n9600\r\n");
        f.start();
        f.button("Command1")->click();
        QCOMPARE(f.button("Command1")->text(), kClose);

        QCOMPARE(outcomeOf(f, "Command3"), kReplyGood);
        Panel expected = startPanel();
        expected.insert("Label19", "12.34V");
        QCOMPARE(mismatches(*f.window, expected), QString());
        enter(*f.window, { { "Text4", "65535" }, { "Text6", "25.5" } });
        QCOMPARE(outcomeOf(f, "Command2"), kReplyGood);
        QCOMPARE(outcomeOf(f, "Command4"), kReplyGood);
        QCOMPARE(f.field("Text2")->text(), QStringLiteral("01 06 00 11 00 01 18 0F "));
        enter(*f.window, unlikePanel());
        QCOMPARE(outcomeOf(f, "Command3"), kReplyGood);
        expected.insert("Text4", "65535");
        expected.insert("Text6", "25.5");
        expected.insert("Command4", "ON");
        expected.insert("Label15(1)", kGreen);
        QCOMPARE(mismatches(*f.window, expected), QString());

        f.button("Command1")->click();
        QCOMPARE(f.button("Command1")->text(), kOpen);
        QCOMPARE(f.messages->texts, QStringList());
    }

    void addressChangeThenTheNewSlaveId_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<QString>("changeOutcome");
        QTest::addColumn<QString>("echo");
        QTest::newRow("echoed broadcast")
            << QStringList {} << kReplyGood << QStringLiteral("00 06 00 00 00 07 C9 D9 ");
        QTest::newRow("silent broadcast")
            << QStringList { "--silent-broadcast" } << kReplyBad << QString();
    }

    // The module takes the broadcast whether or not it answers; the window keeps its Slave ID.
    void addressChangeThenTheNewSlaveId()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(QString, changeOutcome);
        QFETCH(QString, echo);
        WindowFixture f;
        SimProcess sim;
        QCOMPARE(startOnSimulator(f, sim, simOptions), QString());
        f.pick("Combo_Addr(0)", "7");

        QCOMPARE(outcomeOf(f, "Command_OK1"), changeOutcome);
        QCOMPARE(f.field("Text1(0)")->text(), QStringLiteral("00 06 00 00 00 07 C9 D9 "));
        QCOMPARE(f.field("Text2")->text(), echo);
        QCOMPARE(shown(*f.window, "Combo_Addr(2)"), QStringLiteral("1"));
        // The window judges by its clock alone; the module's log tells that it has taken the
        // broadcast before the next request goes out.
        QVERIFY(sim.waitForOutput(QStringLiteral("00 06 00 00 00 07 C9 D9  ->  ")));

        QCOMPARE(outcomeOf(f, "Command3"), kReplyBad);
        QCOMPARE(f.field("Text2")->text(), QString());
        QVERIFY(sim.waitForOutput(QStringLiteral("none: for slave 1, this is slave 7")));

        f.pick("Combo_Addr(2)", "7");
        QCOMPARE(outcomeOf(f, "Command3"), kReplyGood);
        QVERIFY2(f.field("Text2")->text().startsWith("07 03 34 04 D2 "),
            qPrintable(f.field("Text2")->text()));
        QCOMPARE(f.messages->texts, QStringList());
    }

    void baudChangeThenReopenAtTheNewRate_data()
    {
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("echo");
        QTest::newRow("19200") << QString("19200") << "01 06 00 18 00 02 88 0C ";
        QTest::newRow("115200") << QString("115200") << "01 06 00 18 00 05 C9 CE ";
        QTest::newRow("4800, the slowest") << QString("4800") << "01 06 00 18 00 00 09 CD ";
    }

    // The module answers the change at the old rate and then only at the new one.
    void baudChangeThenReopenAtTheNewRate()
    {
        QFETCH(QString, rate);
        QFETCH(QString, echo);
        WindowFixture f;
        SimProcess sim;
        QCOMPARE(startOnSimulator(f, sim, {}), QString());
        f.pick("Combo6", rate);

        QCOMPARE(outcomeOf(f, "Command10"), kReplyGood);
        QCOMPARE(f.field("Text2")->text(), echo);
        QCOMPARE(f.window->portSettings(), QStringLiteral("9600,N,8,1"));

        QCOMPARE(outcomeOf(f, "Command3"), kReplyBad);
        // Refused by the module before the port changes speed, so that it cannot answer late.
        QVERIFY(sim.waitForOutput("none: master at 9600 baud, module at " + rate));

        f.pick("Combo2", rate);
        QCOMPARE(f.button("Command1")->text(), kOpen);
        f.button("Command1")->click();
        QCOMPARE(f.button("Command1")->text(), kClose);
        QCOMPARE(f.window->portSettings(), rate + ",N,8,1");
        f.pick("Combo6", "57600");
        QCOMPARE(outcomeOf(f, "Command3"), kReplyGood);
        QCOMPARE(f.field("Text2")->text().size(), 171);
        QCOMPARE(shown(*f.window, "Combo6"), rate);
        QCOMPARE(f.messages->texts, QStringList());
    }

    // The module's reply with a corrupted CRC: the window rejects it and shows none of it.
    void badCrcLeavesThePanel()
    {
        WindowFixture f;
        SimProcess sim;
        QCOMPARE(startOnSimulator(f, sim, { "--vin", "987", "--bad-crc" }), QString());
        enter(*f.window, unlikePanel());
        f.pick("Combo6", "38400");
        Panel expected = unlikePanel();
        expected.insert("Label19", "0.00V");
        expected.insert("Combo6", "38400");

        QCOMPARE(outcomeOf(f, "Command3"), kReplyBad);
        QCOMPARE(f.field("Text1(0)")->text(), kReadAllTrace);
        QCOMPARE(f.field("Text2")->text(), QString());
        QCOMPARE(mismatches(*f.window, expected), QString());
        QCOMPARE(f.messages->texts, QStringList());
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
