#include "device/reply_decoder.h"
#include "device/write_all.h"

#include <QStringList>
#include <QTest>

#include <array>

using namespace device;

namespace {

// Where the field of that control stands among the texts.
std::size_t fieldIndex(const QString& control)
{
    for (std::size_t i = 0; i < kFields.size(); ++i)
        if (control.toStdString() == parameter(kFields[i]).control)
            return i;
    qFatal("no field %s", qPrintable(control));
}

void fieldRow(const char* name, const char* field, const char* typed, const char* shown,
    int address, const QList<int>& words)
{
    QTest::newRow(name) << QString(field) << QString(typed) << QString(shown) << address << words;
}

QStringList listed(const FieldTexts& texts)
{
    return QStringList(texts.begin(), texts.end());
}

} // namespace

class WriteAllTest : public QObject {
    Q_OBJECT

private slots:
    void emptyFieldsTakeDefaults()
    {
        const auto result = normalisedWriteAll({}, "9600", ParameterSet {});
        QVERIFY(result);
        // Voltage, the five frequencies, the five duties, the channel.
        const QStringList expected { "5.0", "2", "10", "2000", "10000", "150000", "50.0", "50.0",
            "50.0", "50.0", "50.0", "1" };
        QCOMPARE(listed(result->texts), expected);
        QVERIFY(result->parameters.frequency == (std::array { 2, 10, 2000, 10000, 150000 }));
        QCOMPARE(result->parameters.channelNumber, 1);
        QCOMPARE(result->parameters.baudRateCode, 1);
    }

    // One field typed, the others empty; the rewritten text and the register(s) it fills.
    void field_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("address");
        QTest::addColumn<QList<int>>("words");

        fieldRow("voltage above", "Text3", "30", "24.0", 0x01, { 240 });
        fieldRow("voltage at top", "Text3", "24", "24.0", 0x01, { 240 });
        fieldRow("voltage below", "Text3", "0.5", "1.0", 0x01, { 10 });
        fieldRow("voltage negative", "Text3", "-5", "1.0", 0x01, { 10 });
        fieldRow("voltage point last", "Text3", "12.", "12.0", 0x01, { 120 });
        fieldRow("round 1.15", "Text3", "1.15", "1.2", 0x01, { 12 });
        fieldRow("round 2.25", "Text3", "2.25", "2.3", 0x01, { 23 });
        fieldRow("round 1.25", "Text3", "1.25", "1.3", 0x01, { 13 });
        fieldRow("round 0.05", "Text6", "0.05", "0.1", 0x0C, { 1 });
        fieldRow("round 99.96", "Text7", "99.96", "100.0", 0x0D, { 1000 });
        fieldRow("duty above", "Text6", "150", "100.0", 0x0C, { 1000 });
        fieldRow("duty at top", "Text8", "100", "100.0", 0x0E, { 1000 });
        fieldRow("duty at bottom", "Text9", "0", "0.0", 0x0F, { 0 });
        fieldRow("duty minus zero", "Text14", "-0", "0.0", 0x10, { 0 });
        fieldRow("duty twenty digits", "Text14", "99999999999999999999", "100.0", 0x10, { 1000 });
        fieldRow("frequency above", "Text4", "200000", "150000", 0x02, { 0x0002, 0x49F0 });
        fieldRow("frequency zero", "Text5", "0", "1", 0x04, { 0, 1 });
        fieldRow("frequency 65536", "Text10", "65536", "65536", 0x06, { 1, 0 });
        fieldRow("frequency halfway, not rewritten", "Text11", "1.5", "1.5", 0x08, { 0, 2 });
        fieldRow("frequency just above", "Text13", "150000.4", "150000", 0x0A, { 0x0002, 0x49F0 });
        fieldRow("frequency twenty digits", "Text13", "99999999999999999999", "150000", 0x0A,
            { 0x0002, 0x49F0 });
        fieldRow("channel above", "Text12", "9", "5", 0x16, { 5 });
        fieldRow("channel below", "Text12", "0", "1", 0x16, { 1 });
        fieldRow("channel halfway", "Text12", "4.5", "4.5", 0x16, { 5 });
    }

    void field()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(int, address);
        QFETCH(QList<int>, words);

        FieldTexts texts;
        const std::size_t index = fieldIndex(field);
        texts[index] = typed;
        const auto result = normalisedWriteAll(texts, "9600", ParameterSet {});
        QVERIFY(result);
        QCOMPARE(result->texts[index], shown);
        for (qsizetype i = 0; i < words.size(); ++i)
            QCOMPARE(int(result->registers[static_cast<std::size_t>(address - 1 + i)]), words[i]);
    }

    void refused_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");

        QTest::newRow("two points") << "Text3"
                                    << "1.2.3";
        QTest::newRow("point alone") << "Text6"
                                     << ".";
        QTest::newRow("sign alone") << "Text4"
                                    << "-";
        QTest::newRow("exponent") << "Text13"
                                  << "1e3";
        QTest::newRow("letters") << "Text14"
                                 << "abc";
        QTest::newRow("leading blank") << "Text12"
                                       << " 5";
        QTest::newRow("fullwidth digit") << "Text10" << QString(QChar(0xFF15));
    }

    void refused()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        FieldTexts texts;
        texts[fieldIndex(field)] = typed;
        QVERIFY(!normalisedWriteAll(texts, "9600", ParameterSet {}));
    }

    void baudCode_data()
    {
        QTest::addColumn<QString>("combo6");
        QTest::addColumn<int>("previous");
        QTest::addColumn<int>("code");

        QTest::newRow("19200") << "19200" << 0 << 2;
        QTest::newRow("not a rate keeps 4") << "12345" << 4 << 4;
        QTest::newRow("not a rate at start") << "" << 0 << 0;
    }

    void baudCode()
    {
        QFETCH(QString, combo6);
        QFETCH(int, previous);
        QFETCH(int, code);
        ParameterSet set;
        set.baudRateCode = static_cast<std::int16_t>(previous);
        const auto result = normalisedWriteAll({}, combo6, set);
        QVERIFY(result);
        QCOMPARE(result->parameters.baudRateCode, code);
        QCOMPARE(int(result->registers[0x18 - 1]), code);
    }

    // What the module reports, written back whole, is the block it came from: a second front
    // end can copy one module's settings to another.
    void readingWrittenBack()
    {
        std::array<std::uint8_t, 2 * kRegisterCount> registerBytes {};
        for (std::size_t reg = 0; reg < kRegisterCount; ++reg) {
            registerBytes[2 * reg] = static_cast<std::uint8_t>(reg);
            registerBytes[2 * reg + 1] = static_cast<std::uint8_t>(0x10 + reg);
        }
        const Reading reading = decodedRegisters(registerBytes, ParameterSet {});
        const WrittenRegisters registers = writtenRegisters(reading.values);
        for (std::size_t i = 0; i < registers.size(); ++i)
            QCOMPARE(int(registers[i]), int((i + 1) << 8 | (0x10 + i + 1)));
    }

    // Outputs and key lock are sent as last toggled or read, even values a read left unusual.
    void statesSentAsKept()
    {
        ParameterSet set;
        set.outputState = { 1, 0, 2, 0, -32768 };
        set.keyLockState = 1;
        const auto result = normalisedWriteAll({}, "9600", set);
        QVERIFY(result);
        const QList<int> sent(result->registers.begin() + (0x11 - 1), result->registers.end());
        QCOMPARE(sent, (QList { 1, 0, 2, 0, 0x8000, 1, 1, 1 }));
        QVERIFY(result->parameters.outputState == set.outputState);
    }
};

QTEST_APPLESS_MAIN(WriteAllTest)
#include "tst_write_all.moc"
