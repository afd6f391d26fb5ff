#include "rtu/request_size.h"

#include <QTest>

using line::RequestSize;

Q_DECLARE_METATYPE(line::RequestSize::Kind)

class TestRequestSize : public QObject {
    Q_OBJECT

private slots:
    void requestSize_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<RequestSize::Kind>("kind");
        QTest::addColumn<int>("size");
        const auto hex = [](const char* text) { return QByteArray::fromHex(text); };
        QTest::newRow("nothing") << QByteArray() << RequestSize::Due << 0;
        QTest::newRow("address alone") << hex("01") << RequestSize::Due << 0;
        QTest::newRow("read, first two bytes") << hex("0103") << RequestSize::Known << 8;
        QTest::newRow("single write") << hex("010600110001180f") << RequestSize::Known << 8;
        QTest::newRow("read coils") << hex("0101") << RequestSize::Known << 8;
        QTest::newRow("exception status") << hex("0107") << RequestSize::Known << 4;
        QTest::newRow("report server id") << hex("0111") << RequestSize::Known << 4;
        QTest::newRow("mask write") << hex("0116") << RequestSize::Known << 10;
        // A block write's size stands in its byte count, the seventh byte.
        QTest::newRow("block write without its count")
            << hex("011000000002") << RequestSize::Due << 0;
        QTest::newRow("block write of 2 registers")
            << hex("01100000000204") << RequestSize::Known << 13;
        QTest::newRow("block write of 26 registers")
            << hex("0110000000 1a34") << RequestSize::Known << 61;
        QTest::newRow("block write, count 255")
            << hex("011000000002ff") << RequestSize::Known << 264;
        QTest::newRow("read/write, count at 10")
            << hex("01170000000100100001 02") << RequestSize::Known << 15;
        QTest::newRow("file record, count at 2") << hex("011407") << RequestSize::Known << 12;
        QTest::newRow("encapsulated interface") << hex("012b0e0100") << RequestSize::Unknown << 0;
        QTest::newRow("user function") << hex("0141") << RequestSize::Unknown << 0;
    }

    void requestSize()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(RequestSize::Kind, kind);
        QFETCH(int, size);
        const RequestSize found = line::requestSize(bytes);
        QCOMPARE(found.kind, kind);
        QCOMPARE(found.bytes, size);
    }
};

QTEST_APPLESS_MAIN(TestRequestSize)
#include "tst_request_size.moc"
