#include "face_server.h"

#include "bridge/face_answer.h"
#include "bridge/rtu_stream.h"
#include "modbus/crc16.h"
#include "modbus/exception_codes.h"
#include "modbus/tcp_frame.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <deque>

namespace bridge {

namespace {

// Qt reads no more than this from the system ahead of the face: beyond it TCP holds the
// client back.
constexpr qint64 kReadAhead = 4096;

int nextConnectionId()
{
    static int next = 0;
    return next++;
}

std::uint64_t nextTicket()
{
    static std::uint64_t next = 1;
    return next++;
}

RefusalNotes::Instant steadyNow()
{
    return std::chrono::duration_cast<RefusalNotes::Instant>(
        std::chrono::steady_clock::now().time_since_epoch());
}

} // namespace

struct FaceServer::Connection {
    struct Waiting {
        std::uint64_t ticket;
        std::uint16_t transactionId;
        std::uint8_t unit;
        std::uint8_t function;
        std::optional<QByteArray> wire; // the answer as it goes out, once it has come
    };

    int id = nextConnectionId();
    QTcpSocket* socket = nullptr;
    QByteArray input;
    QTimer halfRequest;
    std::deque<Waiting> waiting;
    bool closing = false;
    bool resumeQueued = false;
};

FaceServer::FaceServer(FaceSettings settings, QObject* parent)
    : QObject(parent)
    , settings_(std::move(settings))
    , server_(new QTcpServer(this))
{
    connect(server_, &QTcpServer::newConnection, this, &FaceServer::accept);
}

FaceServer::~FaceServer() = default;

std::optional<QString> FaceServer::listen()
{
    if (server_->listen(settings_.host, settings_.port))
        return std::nullopt;
    return QStringLiteral("cannot listen on %1:%2: %3")
        .arg(settings_.host.toString())
        .arg(settings_.port)
        .arg(server_->errorString());
}

quint16 FaceServer::port() const
{
    return server_->serverPort();
}

void FaceServer::accept()
{
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        const QHostAddress peer = socket->peerAddress();
        const bool allowed = settings_.allow.allows(peer);
        if (!allowed || clients() >= settings_.maxClients) {
            if (refusals_.shouldSay(peer, steadyNow()))
                emit note(allowed
                        ? QStringLiteral("closed a connection from %1: %2 clients are connected "
                                         "already")
                              .arg(peer.toString())
                              .arg(settings_.maxClients)
                        : QStringLiteral("closed a connection from %1: not allowed (--allow)")
                              .arg(peer.toString()));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto connection = std::make_unique<Connection>();
        Connection& c = *connection;
        c.socket = socket;
        socket->setParent(this);
        socket->setReadBufferSize(kReadAhead);
        c.halfRequest.setSingleShot(true);
        connect(&c.halfRequest, &QTimer::timeout, this, [this, &c] { drop(c); });
        connect(socket, &QTcpSocket::readyRead, this, [this, &c] { readFrom(c); });
        connect(socket, &QTcpSocket::disconnected, this, [this, &c] { drop(c); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, &c] { flush(c); });
        connections_.emplace(c.id, std::move(connection));
        readFrom(c);
    }
}

void FaceServer::readFrom(Connection& c)
{
    c.resumeQueued = false;
    bool partial = false;
    while (!c.closing && c.waiting.size() < kMostWaiting) {
        if (settings_.protocol == FaceProtocol::ModbusTcp) {
            const modbus::TcpFrame frame = modbus::tcpFrameAt(c.input);
            if (frame.state == modbus::TcpFrameState::Broken) {
                drop(c);
                return;
            }
            if (frame.state == modbus::TcpFrameState::Complete) {
                c.input.remove(0, frame.size);
                takeRequest(c, frame.transactionId, frame.unitId, frame.pdu);
                continue;
            }
        } else {
            const RtuCut cut = cutRtuRequest(c.input);
            if (cut.what == RtuCut::Frame) {
                // Address, PDU, CRC.
                takeRequest(c, 0, static_cast<std::uint8_t>(cut.frame[0]),
                    cut.frame.sliced(1, cut.frame.size() - 3));
                continue;
            }
            if (cut.what == RtuCut::Dropped)
                continue;
        }
        if (c.socket->bytesAvailable() == 0) {
            partial = !c.input.isEmpty();
            break;
        }
        c.input += c.socket->read(kReadAhead);
    }
    if (c.closing)
        return;
    if (!partial)
        c.halfRequest.stop();
    else if (!c.halfRequest.isActive())
        c.halfRequest.start(settings_.halfRequestLimit);
}

void FaceServer::takeRequest(
    Connection& c, std::uint16_t transactionId, std::uint8_t unit, QByteArray pdu)
{
    const std::uint64_t ticket = nextTicket();
    const auto function = pdu.isEmpty() ? std::uint8_t(0) : static_cast<std::uint8_t>(pdu[0]);
    c.waiting.push_back({ ticket, transactionId, unit, function, std::nullopt });
    emit request({ c.id, ticket, unit, std::move(pdu) });
}

FaceServer::Connection* FaceServer::owner(std::uint64_t ticket)
{
    for (auto& [id, c] : connections_)
        for (const Connection::Waiting& w : c->waiting)
            if (w.ticket == ticket)
                return c.get();
    return nullptr;
}

void FaceServer::answer(std::uint64_t ticket, const FaceReply& reply)
{
    Connection* c = owner(ticket);
    if (!c || c->closing)
        return;
    for (Connection::Waiting& w : c->waiting)
        if (w.ticket == ticket)
            w.wire = encoded(*c, ticket, reply);
    flush(*c);
}

QByteArray FaceServer::encoded(
    const Connection& c, std::uint64_t ticket, const FaceReply& reply) const
{
    const auto w = std::ranges::find(c.waiting, ticket, &Connection::Waiting::ticket);
    if (settings_.protocol == FaceProtocol::ModbusTcp) {
        const QByteArray pdu = reply.kind == FaceReply::FromLine
            ? tcpAnswer(w->function, reply.failure, reply.bytes)
            : reply.kind == FaceReply::Pdu
            ? reply.bytes
            : modbus::exceptionPdu(w->function, modbus::kGatewayPathUnavailable);
        return modbus::tcpFrame(w->transactionId, w->unit, pdu);
    }
    switch (reply.kind) {
    case FaceReply::FromLine:
        return rtuAnswer(reply.failure, reply.bytes);
    case FaceReply::Pdu:
        return modbus::framed(QByteArray(1, static_cast<char>(w->unit)) + reply.bytes);
    case FaceReply::NoSuchUnit:
        break;
    }
    return {};
}

void FaceServer::flush(Connection& c)
{
    if (c.closing)
        return;
    const bool wasFull = c.waiting.size() >= kMostWaiting;
    while (!c.waiting.empty() && c.waiting.front().wire) {
        if (!c.waiting.front().wire->isEmpty())
            c.socket->write(*c.waiting.front().wire);
        c.waiting.pop_front();
    }
    if (c.socket->bytesToWrite() > settings_.unreadLimit) {
        drop(c);
        return;
    }
    // Read on once there is room again, from the event loop: the owner may be answering from
    // inside a request this face has just given it.
    if (wasFull && c.waiting.size() < kMostWaiting && !c.resumeQueued) {
        c.resumeQueued = true;
        QTimer::singleShot(0, this, [this, id = c.id] {
            const auto found = connections_.find(id);
            if (found != connections_.end())
                readFrom(*found->second);
        });
    }
}

void FaceServer::drop(Connection& c)
{
    if (c.closing)
        return;
    c.closing = true;
    c.halfRequest.stop();
    c.socket->disconnect(this);
    c.socket->abort();
    c.socket->deleteLater();
    emit closed(c.id);
    // Removed from the event loop: a caller up the stack may still hold the connection.
    QTimer::singleShot(0, this, [this, id = c.id] { connections_.erase(id); });
}

} // namespace bridge
