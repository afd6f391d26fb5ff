#include "bridge/face_answer.h"

#include <QTest>

using line::Failure;

Q_DECLARE_METATYPE(line::Failure)

class TestFaceAnswer : public QObject {
    Q_OBJECT

private slots:
    void answers_data()
    {
        QTest::addColumn<Failure>("failure");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("tcp"); // the PDU
        QTest::addColumn<QByteArray>("rtu");
        const auto hex = [](const char* text) { return QByteArray::fromHex(text); };
        const QByteArray read = hex("0203040001000285f9");
        QTest::newRow("data") << Failure::None << read << hex("030400010002") << read;
        QTest::newRow("echo") << Failure::None << hex("020600070064f9e3") << hex("0600070064")
                              << hex("020600070064f9e3");
        QTest::newRow("the module's exception")
            << Failure::Exception << hex("028302c0f1") << hex("8302") << hex("028302c0f1");
        QTest::newRow("no reply") << Failure::NoReply << QByteArray() << hex("830b")
                                  << QByteArray();
        QTest::newRow("bad CRC") << Failure::BadCrc << hex("0203040001000200") << hex("8304")
                                 << QByteArray();
        QTest::newRow("another module")
            << Failure::WrongSlave << hex("0303040001000285f9") << hex("8304") << QByteArray();
        QTest::newRow("too short")
            << Failure::WrongLength << hex("020304") << hex("8304") << QByteArray();
        QTest::newRow("line gone") << Failure::Lost << QByteArray() << hex("830a") << QByteArray();
        QTest::newRow("stopped") << Failure::Interrupted << QByteArray() << hex("830b")
                                 << QByteArray();
    }

    void answers()
    {
        QFETCH(Failure, failure);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, tcp);
        QFETCH(QByteArray, rtu);
        QCOMPARE(bridge::tcpAnswer(0x03, failure, reply), tcp);
        QCOMPARE(bridge::rtuAnswer(failure, reply), rtu);
    }
};

QTEST_APPLESS_MAIN(TestFaceAnswer)
#include "tst_face_answer.moc"
