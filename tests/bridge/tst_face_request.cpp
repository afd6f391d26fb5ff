#include "bridge/face_request.h"

#include <QTest>

using bridge::FaceVerdict;

Q_DECLARE_METATYPE(bridge::FaceVerdict)

class TestFaceRequest : public QObject {
    Q_OBJECT

private slots:
    void decision_data()
    {
        QTest::addColumn<QByteArray>("pdu");
        QTest::addColumn<bool>("served");
        QTest::addColumn<int>("baudCode"); // -1: the bridge has not read it yet
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<FaceVerdict>("verdict");
        QTest::addColumn<int>("exceptionCode");
        QTest::addColumn<bool>("movesModule");
        const auto hex = [](const char* text) { return QByteArray::fromHex(text); };
        const QByteArray readAll = hex("030000001a");
        // A write-all as the window sends it, 0x0001 to 0x0018, its last value the rate code 3.
        QByteArray writeAll = hex("100001001830");
        for (int i = 0; i < 23; ++i)
            writeAll += hex("0001");
        writeAll += hex("0003");

        QTest::newRow("read all") << readAll << true << 3 << false << FaceVerdict::Read << 0
                                  << false;
        QTest::newRow("unit not served")
            << readAll << false << 3 << false << FaceVerdict::NoSuchUnit << 0 << false;
        QTest::newRow("read of 125")
            << hex("030000007d") << true << 3 << false << FaceVerdict::Read << 0 << false;
        QTest::newRow("read of 126")
            << hex("030000007e") << true << 3 << false << FaceVerdict::Refused << 3 << false;
        QTest::newRow("read of 0")
            << hex("0300000000") << true << 3 << false << FaceVerdict::Refused << 3 << false;
        QTest::newRow("read, short")
            << hex("03000000") << true << 3 << false << FaceVerdict::Refused << 3 << false;
        QTest::newRow("input registers")
            << hex("040000001a") << true << 3 << false << FaceVerdict::Refused << 1 << false;
        QTest::newRow("no function")
            << QByteArray() << true << 3 << false << FaceVerdict::Refused << 1 << false;
        QTest::newRow("duty") << hex("0600070064") << true << 3 << false << FaceVerdict::Write << 0
                              << false;
        QTest::newRow("duty, read-only")
            << hex("0600070064") << true << 3 << true << FaceVerdict::Refused << 1 << false;
        QTest::newRow("address register")
            << hex("0600000005") << true << 3 << false << FaceVerdict::Refused << 3 << true;
        QTest::newRow("rate kept")
            << hex("0600180003") << true << 3 << false << FaceVerdict::Write << 0 << false;
        QTest::newRow("rate moved")
            << hex("0600180005") << true << 3 << false << FaceVerdict::Refused << 3 << true;
        QTest::newRow("rate not read yet")
            << hex("0600180003") << true << -1 << false << FaceVerdict::Refused << 3 << true;
        QTest::newRow("write-all keeping the rate")
            << writeAll << true << 3 << false << FaceVerdict::Write << 0 << false;
        QTest::newRow("write-all moving the rate")
            << writeAll << true << 2 << false << FaceVerdict::Refused << 3 << true;
        QTest::newRow("block from 0x0000")
            << hex("1000000001020007") << true << 3 << false << FaceVerdict::Refused << 3 << true;
        QTest::newRow("block, count and bytes disagree")
            << hex("100001000203000700") << true << 3 << false << FaceVerdict::Refused << 3
            << false;
        QTest::newRow("block of 0")
            << hex("1000010000 00") << true << 3 << false << FaceVerdict::Refused << 3 << false;
        QTest::newRow("single write, long")
            << hex("060007006400") << true << 3 << false << FaceVerdict::Refused << 3 << false;
    }

    void decision()
    {
        QFETCH(QByteArray, pdu);
        QFETCH(bool, served);
        QFETCH(int, baudCode);
        QFETCH(bool, readOnly);
        QFETCH(FaceVerdict, verdict);
        QFETCH(int, exceptionCode);
        QFETCH(bool, movesModule);
        bridge::UnitState unit { served, {} };
        if (baudCode >= 0)
            unit.baudCode = static_cast<std::uint16_t>(baudCode);
        const bridge::FaceDecision decision
            = bridge::decideFaceRequest(pdu, unit, bridge::FaceRules { readOnly });
        QCOMPARE(decision.verdict, verdict);
        QCOMPARE(decision.exceptionCode, exceptionCode);
        QCOMPARE(decision.movesModule, movesModule);
    }
};

QTEST_APPLESS_MAIN(TestFaceRequest)
#include "tst_face_request.moc"
