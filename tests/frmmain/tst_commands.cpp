#include "panel_view.h"
#include "pty_pair.h"
#include "support/test_crc.h"
#include "support/write_all_frame.h"
#include "window_fixture.h"

#include <QTest>
#include <QTimer>

#include <array>
#include <utility>
#include <vector>

// The module commands as an operator gives them: clicks on the window, with a pseudo-terminal
// linked as COM2 playing the module. What reaches the module is read on the pty's master side.

using namespace panelview;

namespace {

const QString kOpenPortFirst = QStringLiteral("请先打开串口！");
const QString kParameterError = QStringLiteral("参数设置错误！");
const QString kReplyGood = QStringLiteral("通讯数据正常！");
const QString kReplyBad = QStringLiteral("通讯数据错误！");
const QString kClose = QStringLiteral("关闭串口");

// Bound of every wait: a request reaching the module, the window judging a reply. Generous for
// sanitizer builds on a busy machine; a passing wait ends with its event.
constexpr int kWaitMs = 5000;

const std::array<const char*, 6> kToggleButtons { "Command4", "Command6", "Command7", "Command8",
    "Command9", "Command5" };
const std::array<const char*, 6> kIndicators { "Label15(0)", "Label15(1)", "Label15(2)",
    "Label15(3)", "Label15(4)", "Label15(5)" };
const std::array<const char*, 5> kCombos { "Combo1", "Combo2", "Combo6", "Combo_Addr(0)",
    "Combo_Addr(2)" };

QByteArray bytes(const char* hex)
{
    return QByteArray::fromHex(hex);
}

using testcrc::withCrc;

// Slave 1's reply to a read of registers.size() registers from 0x0000.
QByteArray readReply(const QList<int>& registers)
{
    QByteArray frame = bytes("01 03");
    frame.append(static_cast<char>(registers.size() * 2));
    return withCrc(frame + writeall::words(registers));
}

QString trace(const QByteArray& frame)
{
    return QString::fromLatin1(frame.toHex(' ').toUpper()) + QLatin1Char(' ');
}

const QByteArray kReadAllOfSlave1 = bytes("01 03 00 00 00 1A C4 01");

const QByteArray kWriteAllOfEmptyFields
    = bytes("01 10 00 01 00 18 30 00 32 00 00 00 02 00 00 00 0A 00 00 07 D0 00 00 27 10 00 02 49 "
            "F0 01 F4 01 F4 01 F4 01 F4 01 F4 00 00 00 00 00 00 00 00 00 00 00 01 00 00 00 01 35 "
            "ED");

const QByteArray kGivenReply
    = bytes("01 03 34 04 D2 00 32 00 00 03 E8 00 02 49 F0 00 00 03 E8 00 00 03 E8 00 00 03 E8 01 "
            "F4 01 F4 01 F4 01 F4 01 F4 00 01 00 00 00 00 00 00 00 00 00 01 00 00 00 01 00 00 1B "
            "F4");

// The registers 0x0000 to 0x0019 that kGivenReply carries.
const QList<int> kGivenRegisters { 0x04D2, 0x0032, 0x0000, 0x03E8, 0x0002, 0x49F0, 0x0000, 0x03E8,
    0x0000, 0x03E8, 0x0000, 0x03E8, 0x01F4, 0x01F4, 0x01F4, 0x01F4, 0x01F4, 1, 0, 0, 0, 0, 1, 0, 1,
    0 };

// What the panel shows after kGivenReply.
Panel givenReplyPanel()
{
    return Panel {
        { "Label19", "12.34V" },
        { "Text3", "5.0" },
        { "Text4", "1000" },
        { "Text5", "150000" },
        { "Text10", "1000" },
        { "Text11", "1000" },
        { "Text13", "1000" },
        { "Text6", "50.0" },
        { "Text7", "50.0" },
        { "Text8", "50.0" },
        { "Text9", "50.0" },
        { "Text14", "50.0" },
        { "Command4", "ON" },
        { "Label15(1)", kGreen },
        { "Command6", "OFF" },
        { "Label15(2)", kWhite },
        { "Command7", "OFF" },
        { "Label15(3)", kWhite },
        { "Command8", "OFF" },
        { "Label15(4)", kWhite },
        { "Command9", "OFF" },
        { "Label15(5)", kWhite },
        { "Text12", "1" },
        { "Command5", "UnLock" },
        { "Label15(0)", kWhite },
        { "Combo6", "9600" },
    };
}

// Everything a command may change on the panel, but the traces and the status line.
Panel panelOf(const WindowFixture& f)
{
    QStringList names = kParameterFields;
    for (const auto& group : { kToggleButtons, kIndicators })
        for (const char* name : group)
            names << name;
    for (const char* name : kCombos)
        names << name;
    names << "Label19"
          << "Command1";
    return panelview::panelOf(*f.window, names);
}

Panel allParameterFields(const QString& text)
{
    Panel p;
    for (const QString& name : kParameterFields)
        p[name] = text;
    return p;
}

// The bytes that reached the module, once count of them arrived or the wait ran out.
QByteArray atModule(const PtyPair& module, qsizetype count)
{
    return module.read(count, kWaitMs);
}

// The module answers (or stays silent with an empty reply); returns the status line once the
// window has judged what arrived.
QString answer(const WindowFixture& f, const PtyPair& module, const QByteArray& reply)
{
    if (!reply.isEmpty() && !module.write(reply))
        return QStringLiteral("(the module could not write)");
    QLineEdit* status = f.field("Message_Show");
    if (!QTest::qWaitFor([status] { return !status->text().isEmpty(); }, kWaitMs))
        return QStringLiteral("(no judgement within %1 ms)").arg(kWaitMs);
    return status->text();
}

} // namespace

namespace device {

char* toString(const ParameterSet& p)
{
    auto list = [](const auto& values) {
        QStringList out;
        for (const auto v : values)
            out << QString::number(v);
        return out.join(QLatin1Char(','));
    };
    return qstrdup(qPrintable(QStringLiteral("frequency %1 output %2 keyLock %3 channel %4 baud %5")
                                  .arg(list(p.frequency), list(p.outputState))
                                  .arg(p.keyLockState)
                                  .arg(p.channelNumber)
                                  .arg(p.baudRateCode)));
}

} // namespace device

Q_DECLARE_METATYPE(device::ParameterSet)

class TestCommands : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The test's own frame builders agree with frames given byte for byte.
        QCOMPARE(readReply(kGivenRegisters), kGivenReply);
        QCOMPARE(withCrc(bytes("01 03 00 00 00 1A")), kReadAllOfSlave1);
        QCOMPARE(writeall::frame({ 50, 0, 2, 0, 10, 0, 2000, 0, 10000, 2, 0x49F0, 500, 500, 500,
                     500, 500, 0, 0, 0, 0, 0, 1, 0, 1 }),
            kWriteAllOfEmptyFields);
    }

    // Each command against each state of the port and of its address box: the message, what
    // the command changed before its guard, and whether a frame reached the module.
    void guard_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("open");
        QTest::addColumn<Panel>("texts");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<Panel>("changes");
        QTest::addColumn<device::ParameterSet>("parameters");

        struct Command {
            const char* button;
            const char* addressBox;
            const char* goodAddress;
            const char* otherBox;
            const char* otherAddress;
            Panel setup;
            QByteArray frame;
            Panel changes; // before the guard
            bool changesNeedOpenPort;
            device::ParameterSet parameters; // after the changes before the guard
        };
        const device::ParameterSet start;
        device::ParameterSet written = start;
        written.frequency = { 2, 10, 2000, 10000, 150000 };
        written.baudRateCode = 1;
        device::ParameterSet baud = start;
        baud.baudRateCode = 2;
        const Panel defaults { { "Text3", "5.0" }, { "Text12", "1" }, { "Text4", "2" },
            { "Text5", "10" }, { "Text10", "2000" }, { "Text11", "10000" }, { "Text13", "150000" },
            { "Text6", "50.0" }, { "Text7", "50.0" }, { "Text8", "50.0" }, { "Text9", "50.0" },
            { "Text14", "50.0" } };

        std::vector<Command> commands {
            { "Command3", "Combo_Addr(2)", "1", "Combo_Addr(0)", "2", {}, kReadAllOfSlave1, {},
                false, start },
            { "Command2", "Combo_Addr(2)", "1", "Combo_Addr(0)", "2", allParameterFields({}),
                kWriteAllOfEmptyFields, defaults, false, written },
            { "Command10", "Combo_Addr(2)", "1", "Combo_Addr(0)", "2", { { "Combo6", "19200" } },
                bytes("01 06 00 18 00 02 88 0C"), {}, false, baud },
            { "Command_OK1", "Combo_Addr(0)", "2", "Combo_Addr(2)", "1", {},
                bytes("00 06 00 00 00 02 09 DA"), {}, false, start },
        };
        const std::array<QByteArray, 6> toggleFrames { bytes("01 06 00 11 00 01 18 0F"),
            withCrc(bytes("01 06 00 12 00 01")), withCrc(bytes("01 06 00 13 00 01")),
            withCrc(bytes("01 06 00 14 00 01")), withCrc(bytes("01 06 00 15 00 01")),
            bytes("01 06 00 17 00 01 F8 0E") };
        for (std::size_t k = 0; k < kToggleButtons.size(); ++k) {
            const bool keyLock = k == 5;
            device::ParameterSet flipped = start;
            if (keyLock)
                flipped.keyLockState = 1;
            else
                flipped.outputState[k] = 1;
            const Panel on { { kToggleButtons[k], keyLock ? "Lock" : "ON" },
                { keyLock ? kIndicators[0] : kIndicators[k + 1], keyLock ? kRed : kGreen } };
            commands.push_back({ kToggleButtons[k], "Combo_Addr(2)", "1", "Combo_Addr(0)", "2", {},
                toggleFrames[k], on, true, flipped });
        }

        struct Case {
            const char* name;
            bool open;
            const char* address; // nullptr: the command's good address
            const char* otherAddress; // nullptr: a good one
            QString message;
        };
        const std::array<Case, 7> cases { {
            { "port closed, address boxes empty", false, "", "", kOpenPortFirst },
            { "empty address", true, "", nullptr, kParameterError },
            { "address 256", true, "256", nullptr, kParameterError },
            { "address abc", true, "abc", nullptr, kParameterError },
            { "address -1", true, "-1", nullptr, kParameterError },
            { "address with a leading blank", true, " 1", nullptr, kParameterError },
            { "sends, the other address box empty", true, nullptr, "", {} },
        } };

        for (const Command& c : commands) {
            for (const Case& when : cases) {
                Panel texts = c.setup;
                texts[c.addressBox] = when.address ? when.address : c.goodAddress;
                texts[c.otherBox] = when.otherAddress ? when.otherAddress : c.otherAddress;
                const bool changed = when.open || !c.changesNeedOpenPort;
                QTest::addRow("%s, %s", c.button, when.name)
                    << c.button << when.open << texts << when.message
                    << (when.message.isEmpty() ? c.frame : QByteArray())
                    << (changed ? c.changes : Panel {}) << (changed ? c.parameters : start);
            }
        }
    }

    void guard()
    {
        QFETCH(QString, button);
        QFETCH(bool, open);
        QFETCH(Panel, texts);
        QFETCH(QString, message);
        QFETCH(QByteArray, sent);
        QFETCH(Panel, changes);
        QFETCH(device::ParameterSet, parameters);
        WindowFixture f;
        PtyPair module;
        QVERIFY(open ? f.openOn(module) : f.startOn(module));
        enter(*f.window, texts);
        // Left from an earlier exchange: the command must clear them before anything else.
        for (const char* name : { "Message_Show", "Text1(0)", "Text2" })
            f.field(name)->setText(QStringLiteral("earlier"));
        const Panel before = panelOf(f);

        f.button(qPrintable(button))->click();

        QCOMPARE(f.messages->texts, message.isEmpty() ? QStringList() : QStringList { message });
        QCOMPARE(f.field("Message_Show")->text(), QString());
        QCOMPARE(f.field("Text2")->text(), QString());
        QCOMPARE(f.field("Text1(0)")->text(), sent.isEmpty() ? QString() : trace(sent));
        QCOMPARE(f.window->sendTrace(), sent.isEmpty() ? QString() : trace(sent));
        QCOMPARE(f.get<QTimer>("Timer1")->isActive(), !sent.isEmpty());
        QCOMPARE(atModule(module, sent.size()), sent);
        QCOMPARE(module.readAvailable(), QByteArray());
        QCOMPARE(lines(panelOf(f)), lines(overlaid(before, changes)));
        QCOMPARE(f.window->parameters(), parameters);
    }

    // A command refused before it sends, while the reply to an earlier request is still due:
    // the refused command has emptied the traces, so no verdict may follow for it.
    void refusedCommandLeavesNoVerdict_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<Panel>("texts");
        QTest::addColumn<bool>("closeFirst");
        QTest::addColumn<QString>("message");

        QTest::newRow("write all with 1.2.3")
            << "Command2" << Panel { { "Text3", "1.2.3" } } << false << kParameterError;
        QTest::newRow("read with Slave ID abc")
            << "Command3" << Panel { { "Combo_Addr(2)", "abc" } } << false << kParameterError;
        QTest::newRow("address change to nothing")
            << "Command_OK1" << Panel { { "Combo_Addr(0)", "" } } << false << kParameterError;
        QTest::newRow("toggle with the port closed")
            << "Command4" << Panel {} << true << kOpenPortFirst;
    }

    void refusedCommandLeavesNoVerdict()
    {
        QFETCH(QString, button);
        QFETCH(Panel, texts);
        QFETCH(bool, closeFirst);
        QFETCH(QString, message);
        WindowFixture f;
        PtyPair module;
        QVERIFY(f.openOn(module));
        f.button("Command3")->click();
        QCOMPARE(atModule(module, 8), kReadAllOfSlave1);
        auto* timer = f.get<QTimer>("Timer1");
        QVERIFY(timer->isActive());

        if (closeFirst)
            f.button("Command1")->click();
        enter(*f.window, texts);
        f.button(qPrintable(button))->click();

        QCOMPARE(f.messages->texts, QStringList { message });
        QVERIFY(!timer->isActive());
        QCOMPARE(f.field("Message_Show")->text(), QString());
        QCOMPARE(module.readAvailable(), QByteArray());
    }

    // Each toggle writes its own register, first 1, then 0, and shows its own state only.
    void toggleSwitchesItsOwnState_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("slaveId");
        QTest::addColumn<QString>("indicator");
        QTest::addColumn<QString>("onCaption");
        QTest::addColumn<QString>("onColour");
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");

        QTest::newRow("CH1") << "Command4"
                             << "1"
                             << "Label15(1)"
                             << "ON" << kGreen << bytes("01 06 00 11 00 01 18 0F")
                             << bytes("01 06 00 11 00 00 D9 CF");
        QTest::newRow("CH2 of slave 10") << "Command6"
                                         << "10"
                                         << "Label15(2)"
                                         << "ON" << kGreen << bytes("0A 06 00 12 00 01 E9 74")
                                         << withCrc(bytes("0A 06 00 12 00 00"));
        QTest::newRow("CH3") << "Command7"
                             << "1"
                             << "Label15(3)"
                             << "ON" << kGreen << withCrc(bytes("01 06 00 13 00 01"))
                             << withCrc(bytes("01 06 00 13 00 00"));
        QTest::newRow("CH4") << "Command8"
                             << "1"
                             << "Label15(4)"
                             << "ON" << kGreen << withCrc(bytes("01 06 00 14 00 01"))
                             << withCrc(bytes("01 06 00 14 00 00"));
        QTest::newRow("CH5 of slave 255") << "Command9"
                                          << "255"
                                          << "Label15(5)"
                                          << "ON" << kGreen << withCrc(bytes("FF 06 00 15 00 01"))
                                          << withCrc(bytes("FF 06 00 15 00 00"));
        QTest::newRow("key lock") << "Command5"
                                  << "1"
                                  << "Label15(0)"
                                  << "Lock" << kRed << bytes("01 06 00 17 00 01 F8 0E")
                                  << withCrc(bytes("01 06 00 17 00 00"));
    }

    void toggleSwitchesItsOwnState()
    {
        QFETCH(QString, button);
        QFETCH(QString, slaveId);
        QFETCH(QString, indicator);
        QFETCH(QString, onCaption);
        QFETCH(QString, onColour);
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        WindowFixture f;
        PtyPair module;
        QVERIFY(f.openOn(module));
        f.combo("Combo_Addr(2)")->setEditText(slaveId);
        const Panel before = panelOf(f);

        f.button(qPrintable(button))->click();
        QCOMPARE(atModule(module, 8), first);
        QCOMPARE(f.field("Text1(0)")->text(), trace(first));
        QCOMPARE(lines(panelOf(f)),
            lines(overlaid(before, { { button, onCaption }, { indicator, onColour } })));

        f.button(qPrintable(button))->click();
        QCOMPARE(atModule(module, 8), second);
        QCOMPARE(f.field("Text1(0)")->text(), trace(second));
        QCOMPARE(lines(panelOf(f)), lines(before));
        QCOMPARE(f.window->parameters(), device::ParameterSet {});
        QVERIFY(f.messages->texts.isEmpty());
    }

    void baudChangeSendsTheCodeOfCombo6_data()
    {
        QTest::addColumn<QStringList>("combo6");
        QTest::addColumn<QByteArrayList>("sent");
        QTest::addColumn<int>("code");

        QTest::newRow("19200") << QStringList { "19200" }
                               << QByteArrayList { bytes("01 06 00 18 00 02 88 0C") } << 2;
        QTest::newRow("115200") << QStringList { "115200" }
                                << QByteArrayList { bytes("01 06 00 18 00 05 C9 CE") } << 5;
        QTest::newRow("4800") << QStringList { "4800" }
                              << QByteArrayList { withCrc(bytes("01 06 00 18 00 00")) } << 0;
        QTest::newRow("an unknown rate keeps the last code")
            << QStringList { "57600", "56000" }
            << QByteArrayList { withCrc(bytes("01 06 00 18 00 04")),
                   withCrc(bytes("01 06 00 18 00 04")) }
            << 4;
        QTest::newRow("an unknown rate at start-up sends code 0")
            << QStringList { "9600 " } << QByteArrayList { withCrc(bytes("01 06 00 18 00 00")) }
            << 0;
    }

    void baudChangeSendsTheCodeOfCombo6()
    {
        QFETCH(QStringList, combo6);
        QFETCH(QByteArrayList, sent);
        QFETCH(int, code);
        WindowFixture f;
        PtyPair module;
        QVERIFY(f.openOn(module));
        for (qsizetype i = 0; i < combo6.size(); ++i) {
            f.combo("Combo6")->setEditText(combo6[i]);
            f.button("Command10")->click();
            QCOMPARE(atModule(module, 8), sent[i]);
            QCOMPARE(f.field("Text1(0)")->text(), trace(sent[i]));
            QCOMPARE(f.combo("Combo6")->currentText(), combo6[i]);
        }
        QCOMPARE(f.window->parameters().baudRateCode, code);
        QCOMPARE(f.button("Command1")->text(), kClose);
        QCOMPARE(f.window->portSettings(), QStringLiteral("9600,N,8,1"));
        QVERIFY(f.messages->texts.isEmpty());
    }

    // The new address goes to the broadcast address, whatever Slave ID holds.
    void addressChangeSendsToAddressZero_data()
    {
        QTest::addColumn<QString>("newAddress");
        QTest::addColumn<QString>("slaveId");
        QTest::addColumn<QByteArray>("sent");

        const QByteArray toTwo = bytes("00 06 00 00 00 02 09 DA");
        QTest::newRow("2, Slave ID 1") << "2"
                                       << "1" << toTwo;
        QTest::newRow("2, Slave ID 77") << "2"
                                        << "77" << toTwo;
        QTest::newRow("2, Slave ID empty") << "2"
                                           << "" << toTwo;
        QTest::newRow("2, Slave ID abc") << "2"
                                         << "abc" << toTwo;
        QTest::newRow("0, not in the list") << "0"
                                            << "1" << withCrc(bytes("00 06 00 00 00 00"));
        QTest::newRow("255, not in the list") << "255"
                                              << "1" << withCrc(bytes("00 06 00 00 00 FF"));
    }

    void addressChangeSendsToAddressZero()
    {
        QFETCH(QString, newAddress);
        QFETCH(QString, slaveId);
        QFETCH(QByteArray, sent);
        WindowFixture f;
        PtyPair module;
        QVERIFY(f.openOn(module));
        enter(*f.window, { { "Combo_Addr(0)", newAddress }, { "Combo_Addr(2)", slaveId } });
        const Panel before = panelOf(f);

        f.button("Command_OK1")->click();

        QCOMPARE(atModule(module, 8), sent);
        QCOMPARE(f.field("Text1(0)")->text(), trace(sent));
        // Slave ID keeps the old address: later requests go there until the operator picks.
        QCOMPARE(lines(panelOf(f)), lines(before));
        QVERIFY(f.messages->texts.isEmpty());
    }

    // Typed into channel k (and its output switched on), seen at k's registers.
    void writeAllSendsEachChannelAtItsRegisters_data()
    {
        QTest::addColumn<QString>("toggle");
        QTest::addColumn<QString>("frequencyField");
        QTest::addColumn<QString>("dutyField");
        QTest::addColumn<int>("frequencyRegister");
        QTest::addColumn<int>("dutyRegister");
        QTest::addColumn<int>("stateRegister");

        QTest::newRow("CH1") << "Command4"
                             << "Text4"
                             << "Text6" << 0x0002 << 0x000C << 0x0011;
        QTest::newRow("CH2") << "Command6"
                             << "Text5"
                             << "Text7" << 0x0004 << 0x000D << 0x0012;
        QTest::newRow("CH3") << "Command7"
                             << "Text10"
                             << "Text8" << 0x0006 << 0x000E << 0x0013;
        QTest::newRow("CH4") << "Command8"
                             << "Text11"
                             << "Text9" << 0x0008 << 0x000F << 0x0014;
        QTest::newRow("CH5") << "Command9"
                             << "Text13"
                             << "Text14" << 0x000A << 0x0010 << 0x0015;
        QTest::newRow("key lock") << "Command5"
                                  << ""
                                  << "" << 0 << 0 << 0x0017;
    }

    void writeAllSendsEachChannelAtItsRegisters()
    {
        QFETCH(QString, toggle);
        QFETCH(QString, frequencyField);
        QFETCH(QString, dutyField);
        QFETCH(int, frequencyRegister);
        QFETCH(int, dutyRegister);
        QFETCH(int, stateRegister);
        WindowFixture f;
        PtyPair module;
        QVERIFY(f.openOn(module));
        f.button(qPrintable(toggle))->click();
        QCOMPARE(atModule(module, 8).size(), 8);

        QList<int> registers = writeall::kStartUpRegisters;
        registers[stateRegister - 1] = 1;
        if (!frequencyField.isEmpty()) {
            for (const auto& [name, typed] :
                { std::pair { frequencyField, "123456" }, std::pair { dutyField, "37" } }) {
                QLineEdit* field = f.field(qPrintable(name));
                field->selectAll();
                QTest::keyClicks(field, QString::fromLatin1(typed));
                QCOMPARE(field->text(), QString::fromLatin1(typed));
            }
            // 123456 Hz is 0x0001E240.
            registers[frequencyRegister - 1] = 0x0001;
            registers[frequencyRegister] = 0xE240;
            registers[dutyRegister - 1] = 370;
        }

        f.button("Command2")->click();

        QCOMPARE(atModule(module, 57), writeall::frame(registers));
        if (!frequencyField.isEmpty()) {
            QCOMPARE(f.field(qPrintable(frequencyField))->text(), QStringLiteral("123456"));
            QCOMPARE(f.field(qPrintable(dutyField))->text(), QStringLiteral("37.0"));
        }
        QVERIFY(f.messages->texts.isEmpty());
    }

    // A field that is no decimal number stops write-all before anything is rewritten or sent.
    void writeAllRefusesTextThatIsNoNumber_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("open");

        QTest::newRow("1.2.3 in the voltage") << "Text3"
                                              << "1.2.3" << true;
        QTest::newRow("abc in a frequency") << "Text4"
                                            << "abc" << true;
        QTest::newRow("1e3 in a duty") << "Text14"
                                       << "1e3" << true;
        QTest::newRow("a lone point in the channel") << "Text12"
                                                     << "." << true;
        QTest::newRow("a lone minus in a duty") << "Text6"
                                                << "-" << true;
        QTest::newRow("1.2.3 with the port closed") << "Text3"
                                                    << "1.2.3" << false;
    }

    void writeAllRefusesTextThatIsNoNumber()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(bool, open);
        WindowFixture f;
        PtyPair module;
        QVERIFY(open ? f.openOn(module) : f.startOn(module));
        // An empty field, one beyond its bound and one without its decimal: each would be
        // rewritten by a write-all that went ahead.
        enter(
            *f.window, { { "Text5", "" }, { "Text7", "150" }, { "Text9", "7" }, { field, text } });
        f.pick("Combo6", QStringLiteral("19200"));
        const Panel before = panelOf(f);

        f.button("Command2")->click();

        QCOMPARE(f.messages->texts, QStringList { kParameterError });
        QCOMPARE(module.readAvailable(), QByteArray());
        QCOMPARE(lines(panelOf(f)), lines(before));
        QCOMPARE(f.window->parameters(), device::ParameterSet {});
        QCOMPARE(f.field("Text1(0)")->text(), QString());
        QVERIFY(!f.get<QTimer>("Timer1")->isActive());
    }

    // The module's answer to read all, shown on the panel register by register.
    void readAllFillsThePanel_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<Panel>("changes");
        QTest::addColumn<device::ParameterSet>("parameters");

        device::ParameterSet given;
        given.frequency = { 1000, 150000, 1000, 1000, 1000 };
        given.outputState = { 1, 0, 0, 0, 0 };
        QTest::newRow("the given reply") << kGivenReply << givenReplyPanel() << given;

        device::ParameterSet distinct;
        distinct.frequency = { 1, 65536, 1000000, 150000, 99 };
        distinct.outputState = { 1, 0, 2, 1, 0 };
        distinct.keyLockState = 1;
        QTest::newRow("every register distinct")
            << readReply({ 5, 0, 0x0000, 0x0001, 0x0001, 0x0000, 0x000F, 0x4240, 0x0002, 0x49F0,
                   0x0000, 0x0063, 0, 1, 999, 1000, 555, 1, 0, 2, 1, 0, 3, 1, 5, 0xFFFF })
            << Panel {
                   { "Label19", "0.05V" },
                   { "Text3", "0.0" },
                   { "Text4", "1" },
                   { "Text5", "65536" },
                   { "Text10", "1000000" }, // longer than can be typed there
                   { "Text11", "150000" },
                   { "Text13", "99" },
                   { "Text6", "0.0" },
                   { "Text7", "0.1" },
                   { "Text8", "99.9" },
                   { "Text9", "100.0" },
                   { "Text14", "55.5" },
                   { "Command4", "ON" },
                   { "Label15(1)", kGreen },
                   { "Command6", "OFF" },
                   { "Label15(2)", kWhite },
                   { "Command7", "OFF" },
                   { "Label15(3)", kWhite },
                   { "Command8", "ON" },
                   { "Label15(4)", kGreen },
                   { "Command9", "OFF" },
                   { "Label15(5)", kWhite },
                   { "Text12", "3" },
                   { "Command5", "Lock" },
                   { "Label15(0)", kRed },
                   { "Combo6", "115200" },
               }
            << distinct;

        // Shown unsigned; such an output or lock counts as off; a code beyond 5 leaves Combo6.
        QList<int> beyond = kGivenRegisters;
        beyond[0x02] = 0xFFFF;
        beyond[0x03] = 0xFFFF;
        beyond[0x12] = 0x8001;
        beyond[0x17] = 0xFFFF;
        beyond[0x18] = 6;
        Panel beyondPanel = givenReplyPanel();
        beyondPanel["Text4"] = "4294967295";
        beyondPanel.remove("Combo6");
        device::ParameterSet beyondSet = given;
        beyondSet.frequency[0] = -1;
        beyondSet.outputState[1] = -32767;
        beyondSet.keyLockState = -1;
        QTest::newRow("values beyond the signed fields")
            << readReply(beyond) << beyondPanel << beyondSet;

        QTest::newRow("a one-register reply changes only the supply voltage") << readReply(
            { 0x04D2 }) << Panel { { "Label19", "12.34V" } } << device::ParameterSet {};
    }

    void readAllFillsThePanel()
    {
        QFETCH(QByteArray, reply);
        QFETCH(Panel, changes);
        QFETCH(device::ParameterSet, parameters);
        WindowFixture f;
        PtyPair module;
        QVERIFY(f.openOn(module));
        f.pick("Combo6", QStringLiteral("57600"));
        const Panel before = panelOf(f);

        f.button("Command3")->click();
        QCOMPARE(atModule(module, 8), kReadAllOfSlave1);
        QCOMPARE(f.field("Text1(0)")->text(), QStringLiteral("01 03 00 00 00 1A C4 01 "));

        QCOMPARE(answer(f, module, reply), kReplyGood);
        QCOMPARE(f.field("Text2")->text(), trace(reply));
        QCOMPARE(f.field("Text1(0)")->text(), trace(kReadAllOfSlave1));
        QCOMPARE(lines(panelOf(f)), lines(overlaid(before, changes)));
        QCOMPARE(f.window->parameters(), parameters);
        QVERIFY(f.messages->texts.isEmpty());
    }

    // The next click on a toggle flips the value the module reported, not the one shown before.
    void toggleAfterReadAll_data()
    {
        QTest::addColumn<int>("output");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("after");

        const QByteArray on = bytes("01 06 00 11 00 01 18 0F");
        QTest::newRow("2 is off") << 2 << "OFF" << on << "ON";
        QTest::newRow("1 is on") << 1 << "ON" << bytes("01 06 00 11 00 00 D9 CF") << "OFF";
        QTest::newRow("0 is off") << 0 << "OFF" << on << "ON";
        QTest::newRow("0x8001 is off") << 0x8001 << "OFF" << on << "ON";
    }

    void toggleAfterReadAll()
    {
        QFETCH(int, output);
        QFETCH(QString, shown);
        QFETCH(QByteArray, sent);
        QFETCH(QString, after);
        WindowFixture f;
        PtyPair module;
        QVERIFY(f.openOn(module));
        // Switched on first, so that the read, not start-up, decides what is shown.
        f.button("Command4")->click();
        QCOMPARE(atModule(module, 8).size(), 8);
        QList<int> registers = kGivenRegisters;
        registers[0x11] = output;

        f.button("Command3")->click();
        QCOMPARE(atModule(module, 8), kReadAllOfSlave1);
        QCOMPARE(answer(f, module, readReply(registers)), kReplyGood);
        QCOMPARE(f.button("Command4")->text(), shown);

        f.button("Command4")->click();
        QCOMPARE(atModule(module, 8), sent);
        QCOMPARE(f.button("Command4")->text(), after);
    }

    // The module's answer to a write is accepted and changes nothing on the panel.
    void writeReplyChangesNothing_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<Panel>("texts");
        QTest::addColumn<int>("requestSize");
        QTest::addColumn<QByteArray>("reply"); // empty: the echo of the request

        QTest::newRow("output echo") << "Command4" << Panel {} << 8 << QByteArray();
        QTest::newRow("key lock echo") << "Command5" << Panel {} << 8 << QByteArray();
        QTest::newRow("baud change echo")
            << "Command10" << Panel { { "Combo6", "38400" } } << 8 << QByteArray();
        QTest::newRow("address change echo")
            << "Command_OK1" << Panel { { "Combo_Addr(0)", "2" } } << 8 << QByteArray();
        QTest::newRow("write-all reply")
            << "Command2" << Panel {} << 57 << withCrc(bytes("01 10 00 01 00 18"));
    }

    void writeReplyChangesNothing()
    {
        QFETCH(QString, button);
        QFETCH(Panel, texts);
        QFETCH(int, requestSize);
        QFETCH(QByteArray, reply);
        WindowFixture f;
        PtyPair module;
        QVERIFY(f.openOn(module));
        enter(*f.window, texts);
        f.button(qPrintable(button))->click();
        const QByteArray request = atModule(module, requestSize);
        QCOMPARE(request.size(), requestSize);
        if (reply.isEmpty())
            reply = request;
        const Panel before = panelOf(f);
        const device::ParameterSet parameters = f.window->parameters();

        QCOMPARE(answer(f, module, reply), kReplyGood);
        QCOMPARE(f.field("Text2")->text(), trace(reply));
        QCOMPARE(lines(panelOf(f)), lines(before));
        QCOMPARE(f.window->parameters(), parameters);
    }

    void badReplyChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("reply");

        QByteArray badCrc = kGivenReply;
        badCrc[56] = static_cast<char>(badCrc[56] ^ 0x01);
        QByteArray otherSlave = kGivenReply.first(55);
        otherSlave[0] = 0x02;
        QTest::newRow("bad CRC") << badCrc;
        QTest::newRow("one byte short") << kGivenReply.first(56);
        QTest::newRow("one byte extra") << kGivenReply + QByteArray(1, '\0');
        QTest::newRow("another slave") << withCrc(otherSlave);
        QTest::newRow("no reply") << QByteArray();
    }

    void badReplyChangesNothing()
    {
        QFETCH(QByteArray, reply);
        WindowFixture f;
        PtyPair module;
        QVERIFY(f.openOn(module));
        const Panel before = panelOf(f);

        f.button("Command3")->click();
        QCOMPARE(atModule(module, 8), kReadAllOfSlave1);

        QCOMPARE(answer(f, module, reply), kReplyBad);
        QCOMPARE(f.field("Text2")->text(), QString());
        QCOMPARE(f.field("Text1(0)")->text(), trace(kReadAllOfSlave1));
        QCOMPARE(lines(panelOf(f)), lines(before));
        QCOMPARE(f.window->parameters(), device::ParameterSet {});
        QVERIFY(f.messages->texts.isEmpty());
    }
};

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
