// The simulator against requests built by hand: reads, writes and their ranges, broadcasts, the
// slave address and the line speed.

#include <QTest>

#include "sim_session.h"
#include "support/test_crc.h"

namespace {

// For frames a test builds itself, such as the bounds of every register.
using testcrc::withCrc;

QByteArray bytes(const char* hex)
{
    return QByteArray::fromHex(hex);
}

QByteArray readRequest(int slave, int reg, int count)
{
    QByteArray frame;
    for (int b : { slave, 0x03, 0, reg, 0, count })
        frame += char(b);
    return withCrc(frame);
}

QByteArray readReply(int slave, const QList<int>& values)
{
    QByteArray frame;
    for (int b : { slave, 0x03, 2 * int(values.size()) })
        frame += char(b);
    for (int v : values) {
        frame += char(v >> 8);
        frame += char(v & 0xFF);
    }
    return withCrc(frame);
}

// Start values of registers 0x0000 to 0x0019, slave 1 at 9600 baud.
const QList<int> kStartValues { 1234, 50, 0, 1000, 0, 1000, 0, 1000, 0, 1000, 0, 1000, 500, 500,
    500, 500, 500, 0, 0, 0, 0, 0, 1, 0, 1, 0 };

// The write-all frame for twelve empty fields, as the tool sends it.
const char* const kWriteAll
    = "01100001001830003200000002000000 0A000007D000002710000249F001F401F401F401F401F4"
      "00000000000000000000000100000001 35ED";

} // namespace

class SimProtocolTest : public QObject {
    Q_OBJECT

private slots:
    void reads_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");

        QTest::newRow("all registers, start values")
            << QStringList {} << bytes("01030000001AC401")
            << bytes("010334 04D2 0032 0000 03E8 0000 03E8 0000 03E8 0000 03E8 0000 03E8"
                     "01F4 01F4 01F4 01F4 01F4 0000 0000 0000 0000 0000 0001 0000 0001 0000 C2F2");
        QTest::newRow("--vin sets what register 0 reads")
            << QStringList { "--vin", "1500" } << readRequest(1, 0, 1) << readReply(1, { 1500 });
        QTest::newRow("--address")
            << QStringList { "--address", "7" } << readRequest(7, 0x16, 1) << readReply(7, { 1 });
        QTest::newRow("beyond the map: exception 02")
            << QStringList {} << readRequest(1, 0x19, 2) << withCrc(bytes("018302"));
    }

    void reads()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        SimSession s;
        QVERIFY(s.start(args));
        QCOMPARE(s.line.exchange(request, reply.size()).toHex(' '), reply.toHex(' '));
    }

    void writes_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("reg");
        QTest::addColumn<QList<int>>("after");

        const auto framed = [](const char* hex) { return withCrc(bytes(hex)); };
        const QByteArray refused06 = withCrc(bytes("018603"));
        const QByteArray refused10 = withCrc(bytes("019003"));
        QTest::newRow("CH1 on") << bytes("010600110001180F") << bytes("010600110001180F") << 0x11
                                << QList<int> { 1 };
        QTest::newRow("CH2 at 2") << framed("010600120002") << refused06 << 0x12
                                  << QList<int> { 0 };
        QTest::newRow("volt 10") << framed("01060001000A") << framed("01060001000A") << 1
                                 << QList<int> { 10 };
        QTest::newRow("volt 9") << framed("010600010009") << refused06 << 1 << QList<int> { 50 };
        QTest::newRow("volt 240") << framed("0106000100F0") << framed("0106000100F0") << 1
                                  << QList<int> { 240 };
        QTest::newRow("volt 241") << framed("0106000100F1") << refused06 << 1 << QList<int> { 50 };
        QTest::newRow("duty 1000")
            << framed("0106001003E8") << framed("0106001003E8") << 0x10 << QList<int> { 1000 };
        QTest::newRow("duty 1001")
            << framed("0106000C03E9") << refused06 << 0x0C << QList<int> { 500 };
        QTest::newRow("channel 5")
            << framed("010600160005") << framed("010600160005") << 0x16 << QList<int> { 5 };
        QTest::newRow("channel 0")
            << framed("010600160000") << refused06 << 0x16 << QList<int> { 1 };
        QTest::newRow("baud code 6")
            << framed("010600180006") << refused06 << 0x18 << QList<int> { 1 };
        QTest::newRow("150000 Hz as a pair")
            << framed("0110000200020400 0249F0") << framed("011000020002") << 2
            << QList<int> { 2, 0x49F0 };
        QTest::newRow("150001 Hz as a pair")
            << framed("0110000200020400 0249F1") << refused10 << 2 << QList<int> { 0, 1000 };
        // A single word is judged with the word already stored beside it.
        QTest::newRow("high word 2 beside 1000")
            << framed("010600060002") << framed("010600060002") << 6 << QList<int> { 2, 1000 };
        QTest::newRow("high word 3 beside 1000")
            << framed("010600060003") << refused06 << 6 << QList<int> { 0, 1000 };
        QTest::newRow("low word 0 beside 0")
            << framed("010600090000") << refused06 << 8 << QList<int> { 0, 1000 };
        QTest::newRow("write-all") << bytes(kWriteAll) << framed("011000010018") << 1
                                   << QList<int> { 50, 0, 2, 0, 10, 0, 2000, 0, 10000, 2, 0x49F0,
                                          500, 500, 500, 500, 500, 0, 0, 0, 0, 0, 1, 0, 1 };
        // One bad value refuses the whole frame: CH1 keeps 1000 Hz.
        QByteArray badDuty = bytes(kWriteAll).left(55);
        badDuty[33] = 0x03;
        badDuty[34] = char(0xE9);
        QTest::newRow("write-all, one duty 1001")
            << withCrc(badDuty) << refused10 << 2 << QList<int> { 0, 1000 };
        QTest::newRow("beyond the map: exception 02")
            << framed("0106001A0000") << withCrc(bytes("018602")) << 0x19 << QList<int> { 0 };
    }

    void writes()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(int, reg);
        QFETCH(QList<int>, after);
        SimSession s;
        QVERIFY(s.start());
        QCOMPARE(s.line.exchange(request, reply.size()).toHex(' '), reply.toHex(' '));
        const QByteArray expected = readReply(1, after);
        QCOMPARE(s.line.exchange(readRequest(1, reg, after.size()), expected.size()).toHex(' '),
            expected.toHex(' '));
    }

    void broadcasts_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply"); // empty: no answer
        QTest::addColumn<int>("slave"); // the module's address afterwards
        QTest::addColumn<int>("reg");
        QTest::addColumn<int>("value");

        const QStringList silent { "--silent-broadcast" };
        const QByteArray none;
        QTest::newRow("address 2, echo") << QStringList {} << bytes("00060000000209DA")
                                         << bytes("00060000000209DA") << 2 << 0 << 1234;
        QTest::newRow("address 2, silent")
            << silent << bytes("00060000000209DA") << none << 2 << 0 << 1234;
        QTest::newRow("address 247") << QStringList {} << withCrc(bytes("0006000000F7"))
                                     << withCrc(bytes("0006000000F7")) << 247 << 0 << 1234;
        QTest::newRow("address 0 refused")
            << QStringList {} << withCrc(bytes("000600000000")) << none << 1 << 0 << 1234;
        QTest::newRow("address 248 refused")
            << QStringList {} << withCrc(bytes("0006000000F8")) << none << 1 << 0 << 1234;
        QTest::newRow("CH1 on, echo") << QStringList {} << withCrc(bytes("000600110001"))
                                      << withCrc(bytes("000600110001")) << 1 << 0x11 << 1;
        QTest::newRow("two outputs, echo")
            << QStringList {} << withCrc(bytes("001000110002040001 0001"))
            << withCrc(bytes("001000110002")) << 1 << 0x12 << 1;
        QTest::newRow("duty 1001 refused")
            << QStringList {} << withCrc(bytes("0006000C03E9")) << none << 1 << 0x0C << 500;
    }

    void broadcasts()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(int, slave);
        QFETCH(int, reg);
        QFETCH(int, value);
        SimSession s;
        QVERIFY(s.start(args));
        if (reply.isEmpty()) {
            QVERIFY(s.sendUnanswered(request));
        } else {
            QCOMPARE(s.line.exchange(request, reply.size()).toHex(' '), reply.toHex(' '));
        }
        if (slave != 1)
            QVERIFY(s.sendUnanswered(readRequest(1, reg, 1)));
        const QByteArray expected = readReply(slave, { value });
        QCOMPARE(s.line.exchange(readRequest(slave, reg, 1), expected.size()).toHex(' '),
            expected.toHex(' '));
    }

    void baudChange_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("code");

        QTest::newRow("19200") << bytes("010600180002880C") << 19200 << 2;
        QTest::newRow("115200") << bytes("010600180005C9CE") << 115200 << 5;
        QTest::newRow("4800") << withCrc(bytes("010600180000")) << 4800 << 0;
    }

    // The echo leaves at the old speed; after it the module hears only the new one.
    void baudChange()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, rate);
        QFETCH(int, code);
        SimSession s;
        QVERIFY(s.start());
        QCOMPARE(s.line.exchange(request, 8).toHex(' '), request.toHex(' '));
        QVERIFY(s.sendUnanswered(readRequest(1, 0x18, 1)));
        QVERIFY(s.line.setBaudRate(rate));
        const QByteArray expected = readReply(1, { code });
        QCOMPARE(s.line.exchange(readRequest(1, 0x18, 1), expected.size()).toHex(' '),
            expected.toHex(' '));
    }

    void masterAtWrongSpeed_data()
    {
        QTest::addColumn<int>("rate");
        QTest::newRow("4800") << 4800;
        QTest::newRow("19200") << 19200;
    }

    // A request at the wrong speed is noise to the module: no answer, nothing written.
    void masterAtWrongSpeed()
    {
        QFETCH(int, rate);
        SimSession s;
        QVERIFY(s.start({}, rate));
        QVERIFY(s.sendUnanswered(bytes("010600110001180F")));
        QVERIFY(s.line.setBaudRate(9600));
        const QByteArray expected = readReply(1, { 0 });
        QCOMPARE(s.line.exchange(readRequest(1, 0x11, 1), expected.size()).toHex(' '),
            expected.toHex(' '));
    }

    void requestForAnotherSlave()
    {
        SimSession s;
        QVERIFY(s.start());
        QVERIFY(s.sendUnanswered(bytes("02030000001AC432")));
        QCOMPARE(s.line.exchange(readRequest(1, 0, 1), 7), readReply(1, { 1234 }));
    }
};

QTEST_GUILESS_MAIN(SimProtocolTest)
#include "tst_sim_protocol.moc"
