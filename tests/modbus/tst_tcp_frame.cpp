#include "modbus/exception_codes.h"
#include "modbus/tcp_frame.h"

#include <QTest>

using modbus::TcpFrameState;

Q_DECLARE_METATYPE(modbus::TcpFrameState)

class TestTcpFrame : public QObject {
    Q_OBJECT

private slots:
    void frameAt_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TcpFrameState>("state");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("transactionId");
        QTest::addColumn<int>("unitId");
        QTest::addColumn<QByteArray>("pdu");
        const QByteArray readAll = QByteArray::fromHex("12340000000602030000001a");
        const QByteArray pdu = QByteArray::fromHex("030000001a");
        QTest::newRow("a read of all registers")
            << readAll << TcpFrameState::Complete << 12 << 0x1234 << 2 << pdu;
        QTest::newRow("two frames: the first")
            << readAll + readAll << TcpFrameState::Complete << 12 << 0x1234 << 2 << pdu;
        QTest::newRow("header only")
            << readAll.first(7) << TcpFrameState::Incomplete << 0 << 0 << 0 << QByteArray();
        QTest::newRow("one byte short")
            << readAll.first(11) << TcpFrameState::Incomplete << 0 << 0 << 0 << QByteArray();
        QTest::newRow("nothing") << QByteArray() << TcpFrameState::Incomplete << 0 << 0 << 0
                                 << QByteArray();
        QTest::newRow("function alone")
            << QByteArray::fromHex("00010000000201 07") << TcpFrameState::Complete << 8 << 1 << 1
            << QByteArray::fromHex("07");
        QTest::newRow("the longest PDU")
            << QByteArray::fromHex("000000000 0fe01") + QByteArray(253, '\x10')
            << TcpFrameState::Complete << 260 << 0 << 1 << QByteArray(253, '\x10');
        // Known broken from the header alone, before the body arrives.
        QTest::newRow("protocol id 1") << QByteArray::fromHex("00010001000601")
                                       << TcpFrameState::Broken << 0 << 0 << 0 << QByteArray();
        QTest::newRow("length 255") << QByteArray::fromHex("000100000 0ff01")
                                    << TcpFrameState::Broken << 0 << 0 << 0 << QByteArray();
        QTest::newRow("length 1, no function")
            << QByteArray::fromHex("00010000000101") << TcpFrameState::Broken << 0 << 0 << 0
            << QByteArray();
        QTest::newRow("length 0") << QByteArray::fromHex("00010000000001") << TcpFrameState::Broken
                                  << 0 << 0 << 0 << QByteArray();
    }

    void frameAt()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(TcpFrameState, state);
        QFETCH(int, size);
        QFETCH(int, transactionId);
        QFETCH(int, unitId);
        QFETCH(QByteArray, pdu);
        const modbus::TcpFrame frame = modbus::tcpFrameAt(bytes);
        QCOMPARE(frame.state, state);
        QCOMPARE(frame.size, size);
        QCOMPARE(frame.transactionId, transactionId);
        QCOMPARE(frame.unitId, unitId);
        QCOMPARE(frame.pdu, pdu);
    }

    void answersCarryTheRequestsIds_data()
    {
        QTest::addColumn<QByteArray>("pdu");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("an echo") << QByteArray::fromHex("0600110001")
                                 << QByteArray::fromHex("beef0000000607"
                                                        "0600110001");
        QTest::newRow("gateway target failed")
            << modbus::exceptionPdu(0x03, modbus::kGatewayTargetFailedToRespond)
            << QByteArray::fromHex("beef0000000307"
                                   "830b");
        QTest::newRow("illegal function") << modbus::exceptionPdu(0x2b, modbus::kIllegalFunction)
                                          << QByteArray::fromHex("beef0000000307"
                                                                 "ab01");
    }

    void answersCarryTheRequestsIds()
    {
        QFETCH(QByteArray, pdu);
        QFETCH(QByteArray, frame);
        QCOMPARE(modbus::tcpFrame(0xBEEF, 7, pdu), frame);
        // What the face sends, a client's parser takes back whole.
        const modbus::TcpFrame back = modbus::tcpFrameAt(frame);
        QCOMPARE(back.state, TcpFrameState::Complete);
        QCOMPARE(back.pdu, pdu);
    }
};

QTEST_APPLESS_MAIN(TestTcpFrame)
#include "tst_tcp_frame.moc"
