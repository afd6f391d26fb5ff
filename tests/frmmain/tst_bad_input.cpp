#include "pty_pair.h"
#include "window_fixture.h"

#include <QTest>

namespace {

const QString kParameterError = QStringLiteral("参数设置错误！");

quint16 registerAt(const QByteArray& frame, int reg)
{
    // Write-all data starts at byte 7 with register 0x0001, two bytes each, high byte first.
    const int at = 7 + 2 * (reg - 1);
    return quint16((quint8(frame[at]) << 8) | quint8(frame[at + 1]));
}

} // namespace

// What an operator can put into the window that the key filter never sees: pasted text, and a
// settings file edited or damaged by hand.
class TestBadInput : public QObject {
    Q_OBJECT

private slots:
    void pastedText_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<bool>("sent");
        const char* fields[] = { "Text3", "Text12", "Text4", "Text5", "Text10", "Text11", "Text13",
            "Text6", "Text7", "Text8", "Text9", "Text14" };
        const QList<std::pair<QString, bool>> pastes {
            { "abc", false },
            { "1.2.3", false },
            { "..", false },
            { "-", false },
            { "1e3", false },
            { " 5", false },
            { "5 ", false },
            { "１２", false }, // full-width digits
            { "-7", true },
            { "+3", true },
            { "99999999999999999999999999", true },
            { "-99999999999999999999999999", true },
            { "0.000000000000000000001", true },
            { "007", true },
        };
        for (const char* field : fields)
            for (const auto& [text, sent] : pastes)
                QTest::addRow("%s %s", field, qPrintable(text)) << field << text << sent;
    }

    void pastedText()
    {
        QFETCH(QString, field);
        QFETCH(QString, pasted);
        QFETCH(bool, sent);
        WindowFixture f;
        PtyPair pty;
        QVERIFY(f.openOn(pty));
        f.field(qPrintable(field))->setText(pasted);

        f.button("Command2")->click();
        const QByteArray frame = pty.read(57, sent ? 500 : 150);
        if (!sent) {
            QCOMPARE(f.messages->texts, QStringList { kParameterError });
            QVERIFY(frame.isEmpty());
            QCOMPARE(f.field(qPrintable(field))->text(), pasted);
            return;
        }
        QVERIFY(f.messages->texts.isEmpty());
        QCOMPARE(frame.size(), 57);
        const quint16 volt = registerAt(frame, 0x01);
        QVERIFY(volt >= 10 && volt <= 240);
        for (int ch = 0; ch < 5; ++ch) {
            const quint32 hz = quint32(registerAt(frame, 0x02 + 2 * ch)) << 16
                | registerAt(frame, 0x03 + 2 * ch);
            QVERIFY2(hz >= 1 && hz <= 150000, qPrintable(QString::number(hz)));
            QVERIFY(registerAt(frame, 0x0C + ch) <= 1000);
        }
        const quint16 channel = registerAt(frame, 0x16);
        QVERIFY(channel >= 1 && channel <= 5);
        QVERIFY(registerAt(frame, 0x18) <= 5);
    }

    void settingsFileFaults_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("baud");
        QTest::newRow("empty") << QByteArray("") << "COM1"
                               << "9600";
        QTest::newRow("one line") << QByteArray("4\r\n") << "COM4"
                                  << "9600";
        QTest::newRow("binary junk") << QByteArray("\x00\x01\x02\xff\r\n\x7f\x80", 8) << "COM0"
                                     << "9600";
        QTest::newRow("10 MB") << QByteArray(10 << 20, 'x') << "COM0"
                               << "9600";
        QTest::newRow("directory") << QByteArray("<dir>") << "COM1"
                                   << "9600";
    }

    void settingsFileFaults()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, port);
        QFETCH(QString, baud);
        WindowFixture f;
        if (content == "<dir>")
            QVERIFY(QDir(f.dir.path()).mkdir(QStringLiteral("com.txt")));
        else
            f.writeSettings(content);
        frmmain& w = f.start();
        QCOMPARE(f.combo("Combo1")->currentText(), port);
        QCOMPARE(f.combo("Combo2")->currentText(), baud);
        QCOMPARE(f.combo("Combo_Addr(2)")->count(), 255);
        QCOMPARE(f.field("Text14")->text(), QStringLiteral("50.0"));
        QVERIFY(f.messages->texts.isEmpty());
        // Closing is never refused, also when the file cannot be written.
        QVERIFY(w.close());
        if (content != "<dir>")
            QCOMPARE(
                f.settings(), QStringLiteral("%1\r\n%2\r\n").arg(port.mid(3), baud).toLatin1());
    }
};

QTEST_MAIN(TestBadInput)
#include "tst_bad_input.moc"
