#include "bridge/face_server.h"
#include "modbus/crc16.h"
#include "modbus/tcp_frame.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <vector>

using bridge::FaceProtocol;
using bridge::FaceReply;
using bridge::FaceRequest;

namespace {

QByteArray tcpRead(std::uint16_t transactionId, std::uint8_t unit)
{
    return modbus::tcpFrame(transactionId, unit, QByteArray::fromHex("030000001a"));
}

// What a module at the unit answers to a read: its address, the function, two data bytes.
FaceReply moduleAnswer(std::uint8_t unit, char value)
{
    QByteArray reply = QByteArray(1, static_cast<char>(unit)) + QByteArray::fromHex("0302");
    reply += QByteArray(1, '\0') + QByteArray(1, value);
    return { FaceReply::FromLine, line::Failure::None, modbus::framed(reply) };
}

// Reads from the client until it holds bytes or the face closes it, serving the face's events
// meanwhile: the face runs in this thread.
QByteArray received(QTcpSocket& client, qsizetype bytes)
{
    QByteArray got;
    QSignalSpy arrived(&client, &QTcpSocket::readyRead);
    while (got.size() < bytes && client.state() == QAbstractSocket::ConnectedState) {
        if (client.bytesAvailable() == 0 && !arrived.wait(5000))
            break;
        got += client.readAll();
    }
    return got;
}

// Whether the face closes the client's connection, serving its events meanwhile.
bool closedByFace(QTcpSocket& client)
{
    QSignalSpy gone(&client, &QTcpSocket::disconnected);
    return client.state() == QAbstractSocket::UnconnectedState || gone.wait(5000);
}

struct Face {
    explicit Face(bridge::FaceSettings settings)
        : server(std::move(settings))
    {
        QObject::connect(&server, &bridge::FaceServer::request, &server,
            [this](const FaceRequest& r) { requests.push_back(r); });
        QVERIFY(!server.listen());
    }

    void connect(QTcpSocket& client)
    {
        client.connectToHost(QHostAddress::LocalHost, server.port());
        QVERIFY(client.waitForConnected(5000));
    }

    bridge::FaceServer server;
    std::vector<FaceRequest> requests;
};

bridge::FaceSettings settingsFor(FaceProtocol protocol)
{
    bridge::FaceSettings settings;
    settings.protocol = protocol;
    return settings;
}

} // namespace

class TestFaceServer : public QObject {
    Q_OBJECT

private slots:
    void pipelinedAnswersInOrder()
    {
        Face face(settingsFor(FaceProtocol::ModbusTcp));
        QTcpSocket client;
        face.connect(client);
        client.write(tcpRead(0x0101, 1) + tcpRead(0x0202, 2) + tcpRead(0x0303, 3));
        QTRY_COMPARE(face.requests.size(), std::size_t(3));
        // Answered last first: they leave in the order they came, each with its own ids.
        for (int i = 2; i >= 0; --i)
            face.server.answer(face.requests[std::size_t(i)].ticket,
                moduleAnswer(face.requests[std::size_t(i)].unit, char('a' + i)));
        const QByteArray got = received(client, 3 * 11);
        QCOMPARE(got.toHex(),
            QByteArray("0101000000050103020061"
                       "0202000000050203020062"
                       "0303000000050303020063"));
    }

    void refusalsOnEachFace_data()
    {
        QTest::addColumn<FaceProtocol>("protocol");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("Modbus TCP: gateway path unavailable")
            << FaceProtocol::ModbusTcp
            << QByteArray::fromHex("00070000000309"
                                   "830a");
        QTest::newRow("RTU: the line's silence") << FaceProtocol::RtuOverTcp << QByteArray();
    }

    void refusalsOnEachFace()
    {
        QFETCH(FaceProtocol, protocol);
        QFETCH(QByteArray, answer);
        Face face(settingsFor(protocol));
        QTcpSocket client;
        face.connect(client);
        const bool tcp = protocol == FaceProtocol::ModbusTcp;
        const QByteArray toNobody
            = tcp ? tcpRead(7, 9) : modbus::framed(QByteArray::fromHex("09030000001a"));
        const QByteArray toModule
            = tcp ? tcpRead(8, 1) : modbus::framed(QByteArray::fromHex("01030000001a"));
        QByteArray corrupt = toModule;
        corrupt[corrupt.size() - 1] = char(corrupt.back() ^ 1);
        // An RTU frame with a wrong CRC never reaches the owner.
        client.write(toNobody + (tcp ? QByteArray() : corrupt));
        QTRY_COMPARE(face.requests.size(), std::size_t(1));
        client.write(toModule);
        QTRY_COMPARE(face.requests.size(), std::size_t(2));
        face.server.answer(
            face.requests[0].ticket, { FaceReply::NoSuchUnit, line::Failure::None, {} });
        face.server.answer(face.requests[1].ticket, moduleAnswer(1, 'x'));
        const QByteArray module = tcp ? QByteArray::fromHex("00080000000501030200"
                                                            "78")
                                      : moduleAnswer(1, 'x').bytes;
        QCOMPARE(received(client, answer.size() + module.size()), answer + module);
    }

    void closedConnections_data()
    {
        QTest::addColumn<QString>("allow");
        QTest::addColumn<int>("maxClients");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("noted");
        QTest::newRow("not allowed") << "192.168.0.0/16" << 16 << QByteArray() << true;
        QTest::newRow("one client too many") << "" << 0 << QByteArray() << true;
        QTest::newRow("protocol id 1")
            << "" << 16 << QByteArray::fromHex("00010001000601") << false;
        QTest::newRow("length 300") << "" << 16 << QByteArray::fromHex("0001000001 2c01") << false;
        QTest::newRow("half a request") << "" << 16 << tcpRead(1, 1).first(9) << false;
    }

    void closedConnections()
    {
        QFETCH(QString, allow);
        QFETCH(int, maxClients);
        QFETCH(QByteArray, sent);
        QFETCH(bool, noted);
        bridge::FaceSettings settings = settingsFor(FaceProtocol::ModbusTcp);
        if (!allow.isEmpty())
            settings.allow = *bridge::AllowList::parsed(allow, nullptr);
        settings.maxClients = maxClients;
        settings.halfRequestLimit = std::chrono::milliseconds(100);
        Face face(settings);
        QSignalSpy notes(&face.server, &bridge::FaceServer::note);
        QTcpSocket client;
        face.connect(client);
        client.write(sent);
        QVERIFY(closedByFace(client));
        QVERIFY(face.requests.empty());
        QCOMPARE(notes.size(), noted ? 1 : 0);
    }

    void sixteenWaitAtMost()
    {
        Face face(settingsFor(FaceProtocol::ModbusTcp));
        QTcpSocket client;
        face.connect(client);
        QByteArray requests;
        for (std::uint16_t t = 0; t < 20; ++t)
            requests += tcpRead(t, 1);
        client.write(requests);
        QTRY_COMPARE(face.requests.size(), bridge::FaceServer::kMostWaiting);
        // The face reads on only when the owner has answered one.
        QTest::qWait(0);
        QCOMPARE(face.requests.size(), bridge::FaceServer::kMostWaiting);
        face.server.answer(face.requests[0].ticket, moduleAnswer(1, 'a'));
        QTRY_COMPARE(face.requests.size(), bridge::FaceServer::kMostWaiting + 1);
    }
};

QTEST_GUILESS_MAIN(TestFaceServer)
#include "tst_face_server.moc"
