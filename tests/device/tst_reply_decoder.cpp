#include "device/parameter_value.h"
#include "device/reply_decoder.h"
#include "modbus/crc16.h"
#include "rtu/reply.h"
#include "text/quoted_text.h"

#include <QStringList>
#include <QTest>

#include <array>

using namespace device;
using quoting::latin1;

namespace {

// A parameter set unlike anything the replies below carry, to see what a decode leaves alone.
ParameterSet earlierSet()
{
    ParameterSet set;
    set.frequency = { 11, 22, 33, 44, 55 };
    set.outputState = { 1, 1, 1, 1, 1 };
    set.keyLockState = 1;
    set.channelNumber = 3;
    set.baudRateCode = 4;
    return set;
}

// Each parameter the reading carries, as "name value", in register order.
QStringList summaries(const Reading& reading, std::uint16_t from = 0, std::uint16_t to = 0xFFFF)
{
    QStringList lines;
    for (const Parameter& p : kParameters)
        if (reading.carries(p.id) && p.address >= from && p.address < to)
            lines << latin1(p.name) + u' ' + valueText(p, reading.values[indexOf(p.id)]);
    return lines;
}

// A reply as the window decodes one it accepted: through the parser's view of its registers.
Reading decodedReply(const QByteArray& reply, const ParameterSet& current)
{
    return decodedRegisters(line::replyView(line::Failure::None, reply).registerBytes, current);
}

// Slave 1's reply to a read of the first registers.size() registers, CRC included.
QByteArray readReply(const QList<int>& registers)
{
    QByteArray bytes { "\x01\x03" };
    bytes.append(static_cast<char>(registers.size() * 2));
    for (const int value : registers) {
        bytes.append(static_cast<char>(value >> 8));
        bytes.append(static_cast<char>(value & 0xFF));
    }
    return modbus::framed(bytes);
}

// A full 26-register reply, all zero except values from register address on.
QByteArray fullReadWith(int address, const QList<int>& values)
{
    QList<int> registers(26, 0);
    for (qsizetype i = 0; i < values.size(); ++i)
        registers[address + i] = values[i];
    return readReply(registers);
}

} // namespace

class ReplyDecoderTest : public QObject {
    Q_OBJECT

private slots:
    void fullRead()
    {
        const QByteArray reply = QByteArray::fromHex(
            "01 03 34 04 D2 00 32 00 00 03 E8 00 02 49 F0 00 00 03 E8 00 00 03 E8 00 00 03 E8 01 "
            "F4 01 F4 01 F4 01 F4 01 F4 00 01 00 00 00 00 00 00 00 00 00 01 00 00 00 01 00 00 1B "
            "F4");
        QCOMPARE(reply.size(), 57);

        const Reading decoded = decodedReply(reply, earlierSet());
        const QStringList expected { "supply_voltage 12.34", "pwm_voltage 5.0",
            "ch1.frequency 1000", "ch2.frequency 150000", "ch3.frequency 1000",
            "ch4.frequency 1000", "ch5.frequency 1000", "ch1.duty 50.0", "ch2.duty 50.0",
            "ch3.duty 50.0", "ch4.duty 50.0", "ch5.duty 50.0", "ch1.output 1", "ch2.output 0",
            "ch3.output 0", "ch4.output 0", "ch5.output 0", "channel 1", "key_lock 0",
            "baud_rate 1" };
        QCOMPARE(summaries(decoded), expected);
        QCOMPARE(decoded.carried, 26U);

        ParameterSet after = earlierSet();
        after.frequency = { 1000, 150000, 1000, 1000, 1000 };
        after.outputState = { 1, 0, 0, 0, 0 };
        after.keyLockState = 0;
        // channelNumber and baudRateCode belong to the fields, not to the module's report.
        QVERIFY(decoded.parameters == after);
    }

    void registerShown_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<QList<int>>("values");
        QTest::addColumn<QString>("shown");

        QTest::newRow("supply 5") << 0x00 << QList { 5 } << "supply_voltage 0.05";
        QTest::newRow("supply 65535") << 0x00 << QList { 65535 } << "supply_voltage 655.35";
        QTest::newRow("voltage 0") << 0x01 << QList { 0 } << "pwm_voltage 0.0";
        QTest::newRow("CH5 duty 1000") << 0x10 << QList { 1000 } << "ch5.duty 100.0";
        QTest::newRow("CH5 150000 Hz")
            << 0x0A << QList { 0x0002, 0x49F0 } << "ch5.frequency 150000";
        QTest::newRow("CH3 1000000 Hz")
            << 0x06 << QList { 0x000F, 0x4240 } << "ch3.frequency 1000000";
        QTest::newRow("CH2 high word 0x8000")
            << 0x04 << QList { 0x8000, 0x0000 } << "ch2.frequency 2147483648";
        QTest::newRow("CH4 all ones")
            << 0x08 << QList { 0xFFFF, 0xFFFF } << "ch4.frequency 4294967295";
        QTest::newRow("CH2 output on") << 0x12 << QList { 1 } << "ch2.output 1";
        QTest::newRow("CH1 output 2") << 0x11 << QList { 2 } << "ch1.output 2";
        QTest::newRow("CH5 output 0x8000") << 0x15 << QList { 0x8000 } << "ch5.output 32768";
        QTest::newRow("key lock 1") << 0x17 << QList { 1 } << "key_lock 1";
        QTest::newRow("channel 65535") << 0x16 << QList { 65535 } << "channel 65535";
        QTest::newRow("baud code 5") << 0x18 << QList { 5 } << "baud_rate 5";
        QTest::newRow("baud code 0xFFFF") << 0x18 << QList { 0xFFFF } << "baud_rate 65535";
    }

    void registerShown()
    {
        QFETCH(int, address);
        QFETCH(QList<int>, values);
        QFETCH(QString, shown);
        const Reading decoded = decodedReply(fullReadWith(address, values), earlierSet());
        const auto from = static_cast<std::uint16_t>(address);
        const auto to = static_cast<std::uint16_t>(address + values.size());
        QCOMPARE(summaries(decoded, from, to).join(u'|'), shown);
    }

    // A register decodes into the parameter the table gives its channel, under the key that the
    // channel's JSON object and Home Assistant's value path take; the module's own values belong
    // to no channel.
    void channelOfRegister_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("key");

        QTest::newRow("supply voltage") << 0x00 << 0 << "supply_voltage";
        QTest::newRow("PWM voltage") << 0x01 << 0 << "pwm_voltage";
        QTest::newRow("CH1 frequency, low word") << 0x03 << 1 << "frequency";
        QTest::newRow("CH3 frequency, high word") << 0x06 << 3 << "frequency";
        QTest::newRow("CH5 frequency, low word") << 0x0B << 5 << "frequency";
        QTest::newRow("CH1 duty") << 0x0C << 1 << "duty";
        QTest::newRow("CH4 duty") << 0x0F << 4 << "duty";
        QTest::newRow("CH2 output") << 0x12 << 2 << "output";
        QTest::newRow("CH5 output") << 0x15 << 5 << "output";
        QTest::newRow("channel number") << 0x16 << 0 << "channel";
        QTest::newRow("key lock") << 0x17 << 0 << "key_lock";
        QTest::newRow("baud-rate code") << 0x18 << 0 << "baud_rate";
    }

    void channelOfRegister()
    {
        QFETCH(int, address);
        QFETCH(int, channel);
        QFETCH(QString, key);
        const Reading decoded = decodedReply(fullReadWith(address, { 1 }), earlierSet());
        QList<const Parameter*> set;
        for (const Parameter& p : kParameters)
            if (decoded.values[indexOf(p.id)] != 0)
                set << &p;
        QCOMPARE(set.size(), 1);
        QCOMPARE(set.front()->channel, channel);
        QCOMPARE(latin1(nameInChannel(*set.front())), key);
    }

    // Values that do not fit the signed fields must not overflow; such a state counts as off.
    void outOfRangeStates_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("toggle"); // index into kSwitches

        QTest::newRow("CH1 output 2") << 0x11 << 2 << 0;
        QTest::newRow("CH5 output 0x8000") << 0x15 << 0x8000 << 4;
    }

    void outOfRangeStates()
    {
        QFETCH(int, address);
        QFETCH(int, value);
        QFETCH(int, toggle);
        const Reading decoded = decodedReply(fullReadWith(address, { value }), earlierSet());
        const std::int16_t state
            = stateOf(decoded.parameters, kSwitches[static_cast<std::size_t>(toggle)]);
        QCOMPARE(static_cast<std::uint16_t>(state), value);
        // The next click switches it on and sends 1.
        QCOMPARE(flipped(state), 1);
    }

    void notARead_data()
    {
        QTest::addColumn<QByteArray>("reply");

        QTest::newRow("toggle echo") << QByteArray::fromHex("01 06 00 11 00 01 18 0F");
        QTest::newRow("write-all reply")
            << modbus::framed(QByteArray::fromHex("01 10 00 01 00 18"));
        QTest::newRow("exception") << modbus::framed(QByteArray::fromHex("01 83 02"));
        QByteArray wrongCount = fullReadWith(0, { 1234 });
        wrongCount[2] = 0x32;
        QTest::newRow("byte count 50 in 57 bytes") << wrongCount;
        QTest::newRow("27 registers") << readReply(QList<int>(27, 1));
        QTest::newRow("odd byte count") << modbus::framed(QByteArray::fromHex("01 03 03 04 D2 00"));
        QTest::newRow("empty") << QByteArray();
    }

    void notARead()
    {
        QFETCH(QByteArray, reply);
        const Reading decoded = decodedReply(reply, earlierSet());
        QCOMPARE(decoded.carried, 0U);
        QCOMPARE(summaries(decoded), QStringList());
        QVERIFY(decoded.parameters == earlierSet());
    }

    // A shorter read changes only what it carries; a frequency needs both of its words.
    void shortRead_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<int>("ch1Frequency");

        QTest::newRow("1 register") << modbus::framed(QByteArray::fromHex("01 03 02 04 D2"))
                                    << QStringList { "supply_voltage 12.34" } << 11;
        QTest::newRow("5 registers, CH2 low word missing")
            << readReply({ 1234, 50, 0x0001, 0x0000, 0x0002 })
            << QStringList { "supply_voltage 12.34", "pwm_voltage 5.0", "ch1.frequency 65536" }
            << 65536;
    }

    void shortRead()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, shown);
        QFETCH(int, ch1Frequency);
        const Reading decoded = decodedReply(reply, earlierSet());
        QCOMPARE(summaries(decoded), shown);
        ParameterSet after = earlierSet();
        after.frequency[0] = ch1Frequency;
        QVERIFY(decoded.parameters == after);
    }

    // A one-register read, as scan and the baud check take it: high byte first, unsigned.
    void firstRegister_data()
    {
        QTest::addColumn<int>("value");
        QTest::newRow("0x04D2") << 0x04D2;
        QTest::newRow("0x00FF") << 0x00FF;
        QTest::newRow("0xFF00") << 0xFF00;
    }

    void firstRegister()
    {
        QFETCH(int, value);
        const QByteArray reply = readReply({ value });
        QCOMPARE(
            int(device::firstRegister(line::replyView(line::Failure::None, reply).registerBytes)),
            value);
    }
};

QTEST_APPLESS_MAIN(ReplyDecoderTest)
#include "tst_reply_decoder.moc"
