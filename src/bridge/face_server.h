#pragma once

#include "bridge/allow_list.h"
#include "rtu/failure.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>

class QTcpServer;
class QTcpSocket;

namespace bridge {

enum class FaceProtocol {
    ModbusTcp, // MBAP header, no CRC
    RtuOverTcp, // RTU frames with their CRC, as a device server's raw TCP port carries them
};

struct FaceSettings {
    FaceProtocol protocol = FaceProtocol::ModbusTcp;
    QHostAddress host { QHostAddress::LocalHost };
    quint16 port = 0; // 0: any free port (tests)
    AllowList allow;
    int maxClients = 16;
    // A request begun and not finished holds its connection this long at the most.
    std::chrono::milliseconds halfRequestLimit { 5000 };
    // A client that leaves this much of its answers unread is closed.
    qint64 unreadLimit = 64 * 1024;
};

// A request as the line's owner gets it from a face.
struct FaceRequest {
    int connection = 0; // unique among every face's connections
    std::uint64_t ticket = 0; // the owner's answer names it
    std::uint8_t unit = 0; // the module's address
    QByteArray pdu; // function code and data
};

// What the owner answers.
struct FaceReply {
    enum Kind {
        FromLine, // failure and reply as the line gave them
        Pdu, // a PDU the owner made: an exception, or registers it held
        NoSuchUnit, // not on the line: exception 0x0A, or the line's silence
    } kind
        = FromLine;
    line::Failure failure = line::Failure::None;
    QByteArray bytes; // the reply frame (FromLine) or the PDU (Pdu)
};

// One face of the bridge: a TCP server in front of the line's owner. It checks each client
// against the allow list and the number of clients, cuts its requests, keeps them in the order
// they came (at most 16 waiting; beyond that it stops reading the connection, and TCP holds
// the client back), and sends each answer once every earlier one of the connection has gone.
// A connection is closed at a broken Modbus TCP header, a request left half-sent too long, or
// answers left unread beyond the limit.
class FaceServer : public QObject {
    Q_OBJECT

public:
    static constexpr std::size_t kMostWaiting = 16;

    explicit FaceServer(FaceSettings settings, QObject* parent = nullptr);
    ~FaceServer() override;

    // Why the face cannot listen, or nothing.
    std::optional<QString> listen();
    quint16 port() const;
    int clients() const { return static_cast<int>(connections_.size()); }

    void answer(std::uint64_t ticket, const FaceReply& reply);

signals:
    void request(const bridge::FaceRequest& request);
    // The connection went: the owner drops what it still has of it.
    void closed(int connection);
    // A line for standard error.
    void note(const QString& text);

private:
    struct Connection;

    void accept();
    void readFrom(Connection& c);
    void takeRequest(Connection& c, std::uint16_t transactionId, std::uint8_t unit, QByteArray pdu);
    void flush(Connection& c);
    void drop(Connection& c);
    QByteArray encoded(const Connection& c, std::uint64_t ticket, const FaceReply& reply) const;
    Connection* owner(std::uint64_t ticket);

    FaceSettings settings_;
    QTcpServer* server_;
    std::map<int, std::unique_ptr<Connection>> connections_;
    RefusalNotes refusals_;
};

} // namespace bridge
