#include "planted_file.h"
#include "pty_pair.h"
#include "support/write_all_frame.h"
#include "window_fixture.h"

#include <QFileInfo>
#include <QTest>

#include <array>
#include <map>

namespace {

const QString kParameterError = QStringLiteral("参数设置错误！");

// What write-all sends for a field: a value beyond the field's range, compared as typed,
// becomes the bound; then voltage and duty are rounded to one decimal and sent in tenths, the
// channel and the frequencies rounded to whole numbers. Each rounding goes half away from zero.
struct Sent {
    const char* pasted;
    int voltage; // 1 to 24 V, in tenths
    int channel; // 1 to 5
    int frequency; // 1 to 150000 Hz
    int duty; // 0 to 100 %, in tenths
};
const std::array<Sent, 6> kAccepted { {
    { "-7", 10, 1, 1, 0 },
    { "+3", 30, 3, 3, 30 },
    { "99999999999999999999999999", 240, 5, 150000, 1000 },
    { "-99999999999999999999999999", 10, 1, 1, 0 },
    { "0.000000000000000000001", 10, 1, 1, 0 },
    { "007", 70, 5, 7, 70 },
} };

enum class Kind { Voltage, Channel, Frequency, Duty };

// Each parameter field and the first of its registers, 0x0001 to 0x0018.
struct Field {
    const char* name;
    Kind kind;
    int reg;
};
const std::array<Field, 12> kFields { {
    { "Text3", Kind::Voltage, 0x0001 }, // PWM voltage
    { "Text12", Kind::Channel, 0x0016 }, // channel number
    { "Text4", Kind::Frequency, 0x0002 }, // CH1
    { "Text5", Kind::Frequency, 0x0004 }, // CH2
    { "Text10", Kind::Frequency, 0x0006 }, // CH3
    { "Text11", Kind::Frequency, 0x0008 }, // CH4
    { "Text13", Kind::Frequency, 0x000A }, // CH5
    { "Text6", Kind::Duty, 0x000C }, // CH1
    { "Text7", Kind::Duty, 0x000D }, // CH2
    { "Text8", Kind::Duty, 0x000E }, // CH3
    { "Text9", Kind::Duty, 0x000F }, // CH4
    { "Text14", Kind::Duty, 0x0010 }, // CH5
} };

// The start-up frame with only the pasted field's registers changed.
QByteArray writeAllWith(const Field& field, const Sent& sent)
{
    QList<int> registers = writeall::kStartUpRegisters;
    const int at = field.reg - 1;
    switch (field.kind) {
    case Kind::Voltage:
        registers[at] = sent.voltage;
        break;
    case Kind::Channel:
        registers[at] = sent.channel;
        break;
    case Kind::Frequency:
        registers[at] = sent.frequency >> 16;
        registers[at + 1] = sent.frequency & 0xFFFF;
        break;
    case Kind::Duty:
        registers[at] = sent.duty;
        break;
    }
    return writeall::frame(registers);
}

} // namespace

// What an operator can put into the window that the key filter never sees: pasted text, and a
// settings file edited or damaged by hand.
class TestBadInput : public QObject {
    Q_OBJECT

private slots:
    // Text the key filter would have stopped: refused by write-all with nothing sent, or sent
    // as the frame of the start-up values with the pasted field's value in it.
    void pastedText_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QByteArray>("sent"); // empty: refused
        const QStringList refused { "abc", "1.2.3", "..", "-", "1e3", " 5", "5 ",
            "１２" }; // full-width digits
        for (const Field& field : kFields) {
            for (const QString& text : refused)
                QTest::addRow("%s %s", field.name, qPrintable(text))
                    << field.name << text << QByteArray();
            for (const Sent& sent : kAccepted)
                QTest::addRow("%s %s", field.name, sent.pasted)
                    << field.name << sent.pasted << writeAllWith(field, sent);
        }
    }

    void pastedText()
    {
        QFETCH(QString, field);
        QFETCH(QString, pasted);
        QFETCH(QByteArray, sent);
        WindowFixture f;
        PtyPair pty;
        QVERIFY(f.openOn(pty));
        f.field(qPrintable(field))->setText(pasted);

        f.button("Command2")->click();
        if (sent.isEmpty()) {
            QCOMPARE(f.messages->texts, QStringList { kParameterError });
            // Refused before anything is written; the wait gives a wrong frame time to show.
            QCOMPARE(pty.read(57, 150), QByteArray());
            QCOMPARE(f.field(qPrintable(field))->text(), pasted);
            return;
        }
        QVERIFY(f.messages->texts.isEmpty());
        QCOMPARE(pty.read(57, 5000).toHex(' '), sent.toHex(' '));
    }

    // The window starts whole on any com.txt, and leaves only usable values and regular files.
    void settingsFileFaults_data()
    {
        QTest::addColumn<QByteArray>("content"); // or "<kind>" for a planted file
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("baud");
        QTest::addColumn<QString>("typedBaud"); // typed into Combo2 before closing, if any
        QTest::addColumn<QByteArray>("stored"); // empty: com.txt is left as it is
        QTest::newRow("empty") << QByteArray("") << "COM1"
                               << "9600"
                               << "" << QByteArray("1\r\n9600\r\n");
        QTest::newRow("one line") << QByteArray("4\r\n") << "COM4"
                                  << "9600"
                                  << "" << QByteArray("4\r\n9600\r\n");
        QTest::newRow("words") << QByteArray("hello\nworld") << "COM1"
                               << "9600"
                               << "" << QByteArray("1\r\n9600\r\n");
        QTest::newRow("binary junk") << QByteArray("\x00\x01\x02\xff\r\n\x7f\x80", 8) << "COM1"
                                     << "9600"
                                     << "" << QByteArray("1\r\n9600\r\n");
        QTest::newRow("10 MB") << QByteArray(10 << 20, 'x') << "COM1"
                               << "9600"
                               << "" << QByteArray("1\r\n9600\r\n");
        QTest::newRow("a typed rate") << QByteArray("3\r\n19200\r\n") << "COM3"
                                      << "19200"
                                      << "1200" << QByteArray("3\r\n1200\r\n");
        QTest::newRow("a typed word is no rate") << QByteArray("3\r\n19200\r\n") << "COM3"
                                                 << "19200"
                                                 << "fast" << QByteArray("3\r\n9600\r\n");
        QTest::newRow("folder") << QByteArray("<folder>") << "COM1"
                                << "9600"
                                << "" << QByteArray();
        QTest::newRow("FIFO") << QByteArray("<fifo>") << "COM1"
                              << "9600"
                              << "" << QByteArray();
        QTest::newRow("link to a device node") << QByteArray("<device link>") << "COM1"
                                               << "9600"
                                               << "" << QByteArray();
    }

    void settingsFileFaults()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, port);
        QFETCH(QString, baud);
        QFETCH(QString, typedBaud);
        QFETCH(QByteArray, stored);
        WindowFixture f;
        const QString path = f.dir.filePath(QStringLiteral("com.txt"));
        const std::map<QByteArray, testsupport::Planted> planted {
            { "<folder>", testsupport::Planted::Folder },
            { "<fifo>", testsupport::Planted::Fifo },
            { "<device link>", testsupport::Planted::LinkToNullDevice },
        };
        if (const auto kind = planted.find(content); kind != planted.end()) {
            if (!testsupport::plant(kind->second, path))
                QSKIP("this machine makes no such file here (a device node needs root)");
        } else {
            f.writeSettings(content);
        }
        frmmain& w = f.start();
        QCOMPARE(f.combo("Combo1")->currentText(), port);
        QCOMPARE(f.combo("Combo2")->currentText(), baud);
        QCOMPARE(f.combo("Combo_Addr(2)")->count(), 255);
        QCOMPARE(f.field("Text14")->text(), QStringLiteral("50.0"));
        QVERIFY(f.messages->texts.isEmpty());
        if (!typedBaud.isEmpty())
            f.combo("Combo2")->setEditText(typedBaud);
        // Closing is never refused, also when the file cannot be written.
        QVERIFY(w.close());
        if (!stored.isEmpty())
            QCOMPARE(f.settings(), stored);
        else
            QVERIFY(!QFileInfo(path).isFile() || QFileInfo(path).isSymLink());
    }
};

QTEST_MAIN(TestBadInput)
#include "tst_bad_input.moc"
