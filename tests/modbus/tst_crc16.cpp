#include "modbus/crc16.h"
#include "support/test_crc.h"

#include <QTest>

class TestCrc16 : public QObject {
    Q_OBJECT

private slots:
    void framed_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("frame");
        // Frames a master sends to the module, and the standard's check value (CRC 0x4B37 of
        // the digits 1 to 9, which travels low byte first).
        QTest::newRow("write output on")
            << QByteArray::fromHex("010600110001") << QByteArray::fromHex("010600110001180F");
        QTest::newRow("write output off")
            << QByteArray::fromHex("010600110000") << QByteArray::fromHex("010600110000D9CF");
        QTest::newRow("read all") << QByteArray::fromHex("01030000001A")
                                  << QByteArray::fromHex("01030000001AC401");
        QTest::newRow("check value") << QByteArray("123456789") << QByteArray("123456789\x37\x4B");
        QTest::newRow("one byte") << QByteArray::fromHex("01") << QByteArray::fromHex("017E80");
    }

    void framed()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, frame);
        QCOMPARE(modbus::framed(request), frame);
        QVERIFY(modbus::crcMatches(frame));
        // The tests' own CRC, which builds their expected frames, agrees on the same frames.
        QCOMPARE(testcrc::withCrc(request), frame);
        QVERIFY(testcrc::endsWithCrc(frame));
    }

    void corruptedFramesFailTheCheck_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < 8; ++i)
            QTest::addRow("byte %d", i) << i;
    }

    void corruptedFramesFailTheCheck()
    {
        QFETCH(int, index);
        QByteArray frame = QByteArray::fromHex("010600110001180F");
        frame[index] = char(frame[index] ^ 0x01);
        QVERIFY(!modbus::crcMatches(frame));
        QVERIFY(!testcrc::endsWithCrc(frame));
    }

    void tooShortToCarryACrc() { QVERIFY(!modbus::crcMatches(QByteArray::fromHex("FFFF"))); }
};

QTEST_APPLESS_MAIN(TestCrc16)
#include "tst_crc16.moc"
