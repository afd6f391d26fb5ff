#include "transport/telnet_codec.h"

#include <QTest>

using namespace line::telnet;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

} // namespace

// The Telnet side of a device server's RFC 2217 port: what the client sends, and what it makes
// of what the server sends in segments cut anywhere.
class TestTelnetCodec : public QObject {
    Q_OBJECT

private slots:
    void sent_data()
    {
        QTest::addColumn<QByteArray>("got");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("data without 0xFF") << escaped(hex("01 03 00 00")) << hex("01 03 00 00");
        QTest::newRow("each 0xFF doubled")
            << escaped(hex("FF 01 FF FF")) << hex("FF FF 01 FF FF FF FF");
        QTest::newRow("the opening") << opening() << hex("FF FB 00 FF FD 00 FF FD 03 FF FB 2C");
        QTest::newRow("9600,N,8,1")
            << settingsCommands({ 9600, 'N', 8, 1 })
            << hex("FF FA 2C 01 00 00 25 80 FF F0 FF FA 2C 02 08 FF F0 FF FA 2C 03 01 FF F0 "
                   "FF FA 2C 04 01 FF F0");
        QTest::newRow("19200,E,7,2")
            << settingsCommands({ 19200, 'E', 7, 2 })
            << hex("FF FA 2C 01 00 00 4B 00 FF F0 FF FA 2C 02 07 FF F0 FF FA 2C 03 03 FF F0 "
                   "FF FA 2C 04 02 FF F0");
        QTest::newRow("a rate with a 0xFF byte, odd parity")
            << settingsCommands({ 255, 'O', 8, 1 }).first(12)
            << hex("FF FA 2C 01 00 00 00 FF FF FF F0 FF");
    }

    void sent()
    {
        QFETCH(QByteArray, got);
        QFETCH(QByteArray, expected);
        QCOMPARE(got.toHex(' '), expected.toHex(' '));
    }

    void taken_data()
    {
        QTest::addColumn<QList<QByteArray>>("segments");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("answers"); // "command:value" each
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QList<bool>>("seen"); // Telnet spoken, segment by segment

        QTest::newRow("plain data") << QList { hex("01 03 02 04 D2") } << hex("01 03 02 04 D2")
                                    << QByteArray() << "" << false << QList { false };
        QTest::newRow("an IAC cut from its command is seen where the command arrives")
            << QList { hex("01 FF"), hex("FD 01 02 FF FF") } << hex("01 02 FF") << hex("FF FC 01")
            << "" << false << QList { false, true };
        QTest::newRow("a doubled 0xFF is one data byte, also cut between its halves")
            << QList { hex("01 FF"), hex("FF 02 FF FF") } << hex("01 FF 02 FF") << QByteArray()
            << "" << false << QList { false, false };
        QTest::newRow("what the opening asked for is acknowledged without an answer")
            << QList { hex("FF FD 2C FF FD 00 FF FB 00 FF FB 03") } << QByteArray() << QByteArray()
            << "" << false << QList { true };
        QTest::newRow("an unasked welcome option is agreed to once")
            << QList { hex("FF FD 2C FF FD 2C"), hex("FF FD 00 FF FD 00") } << QByteArray()
            << QByteArray() << "" << false << QList { true, true };
        QTest::newRow("options the client does not take are refused")
            << QList { hex("FF FD 01 FF FB 01 FF FD 18") } << QByteArray()
            << hex("FF FC 01 FF FE 01 FF FC 18") << "" << false << QList { true };
        QTest::newRow("binary given up after agreeing is answered")
            << QList { hex("FF FD 00 FF FE 00") } << QByteArray() << hex("FF FC 00") << "" << false
            << QList { true };
        QTest::newRow("a flood of asks for refused options: each refused once")
            << QList { hex("FF FD 01").repeated(1000), hex("FF FD 01 FF FB 18").repeated(500) }
            << QByteArray() << hex("FF FC 01 FF FE 18") << "" << false << QList { true, true };
        QTest::newRow("binary given up, asked for and given up again: given up once")
            << QList { hex("FF FD 00 FF FE 00").repeated(100) } << QByteArray() << hex("FF FC 00")
            << "" << false << QList { true };
        QTest::newRow("binary turned down, then offered and withdrawn again and again")
            << QList { hex("FF FC 00"), hex("FF FB 00 FF FC 00").repeated(100) } << QByteArray()
            << hex("FF FD 00 FF FE 00") << "" << false << QList { true, true };
        QTest::newRow("the server refuses the port control")
            << QList { hex("FF FE 2C") } << QByteArray() << QByteArray() << "" << true
            << QList { true };
        QTest::newRow("the server's answers to the settings, cut anywhere")
            << QList { hex("01 FF FA 2C 65 00 00"), hex("4B 00 FF"),
                   hex("F0 02 FF FA 2C 66 08 FF F0") }
            << hex("01 02") << QByteArray() << "1:00004b00 2:08" << false
            << QList { true, false, true };
        QTest::newRow("a doubled 0xFF inside an answer")
            << QList { hex("FF FA 2C 65 00 00 00 FF FF FF F0") } << QByteArray() << QByteArray()
            << "1:000000ff" << false << QList { true };
        QTest::newRow("other subnegotiations and commands carry no data")
            << QList { hex("01 FF FA 18 01 FF F0 FF F1 02 FF F9 03") } << hex("01 02 03")
            << QByteArray() << "" << false << QList { true };

        // A subnegotiation is kept up to kLongestSubnegotiation bytes (option, code, value).
        const QByteArray fill(62, '\x11');
        const QString filled = QString::fromLatin1(fill.toHex());
        QTest::newRow("an answer of the longest kept size is whole")
            << QList { hex("FF FA 2C 65") + fill + hex("FF F0") } << QByteArray() << QByteArray()
            << "1:" + filled << false << QList { true };
        QTest::newRow("a doubled 0xFF as the last kept byte counts once")
            << QList { hex("FF FA 2C 65") + fill.first(61) + hex("FF FF FF F0") } << QByteArray()
            << QByteArray() << "1:" + filled.first(122) + "ff" << false << QList { true };
        QTest::newRow("an answer one byte longer is none, and the data after it flows")
            << QList { hex("FF FA 2C 65") + fill + hex("11 FF F0 01") } << hex("01") << QByteArray()
            << "" << false << QList { true };
        QTest::newRow("an unclosed subnegotiation holds no more, until its IAC SE")
            << QList { hex("01 FF FA 2C 65"), QByteArray(100000, '\x41'),
                   QByteArray(100000, '\xFF'), hex("FF F0 02") }
            << hex("01 02") << QByteArray() << "" << false << QList { true, false, false, true };
    }

    void taken()
    {
        QFETCH(QList<QByteArray>, segments);
        Reader reader;
        QByteArray data;
        QByteArray got;
        QStringList answers;
        bool refused = false;
        QList<bool> seen;
        for (const QByteArray& segment : segments) {
            const Reader::Taken taken = reader.take(segment);
            QVERIFY(reader.bufferedBytes() <= kLongestSubnegotiation);
            data += taken.data;
            got += taken.reply;
            for (const PortAnswer& a : taken.answers)
                answers << QStringLiteral("%1:%2").arg(a.command).arg(
                    QString::fromLatin1(a.value.toHex()));
            refused = refused || taken.portControlRefused;
            seen << taken.telnetSeen;
        }
        QTEST(data, "data");
        QFETCH(QByteArray, reply);
        QCOMPARE(got.toHex(' '), reply.toHex(' '));
        QTEST(answers.join(u' '), "answers");
        QTEST(refused, "refused");
        QTEST(seen, "seen");
    }
};

QTEST_GUILESS_MAIN(TestTelnetCodec)
#include "tst_telnet_codec.moc"
