#pragma once

#include "link/network_address.h"
#include "link/port_settings.h"
#include "link/telnet_codec.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

namespace line {

// The connection to a serial device server: the line's bytes both ways, and for RFC 2217 the
// Telnet exchange around them, with the line settings sent once the connection is up. Open
// once the server has answered the rate (RFC 2217) or at once (raw TCP).
class ServerConnection final : public QObject {
    Q_OBJECT

public:
    enum class State { Closed, Connecting, Negotiating, Open };
    // Why a connection is not, or no longer, of use; the window picks its message by it.
    enum class Fault { None, NotFound, Refused, InUse, Other };

    explicit ServerConnection(QObject* parent = nullptr);
    // Closes first: a socket closed by its own destructor would signal into members gone.
    ~ServerConnection() override;

    // Starts connecting to the server a network address names; opened() or closed() follows.
    // Text that is no address fails at once, as a server that is not there (Fault::NotFound).
    void connectTo(const QString& device, const PortSettings& settings);
    // Waits for opened() or closed() without an event loop, as a window may: false when the
    // connection did not open.
    bool waitForOpen();
    // Waits as long for the server's first words, or its closing, on an open connection.
    void waitForWords(int ms);
    void close();

    State state() const { return state_; }
    // What went wrong, "connection refused", and its kind; empty while nothing has.
    QString failure() const { return failure_; }
    Fault fault() const { return fault_; }

    // Writes the line's bytes and returns once the system has taken them; false when it did
    // not, or the connection is not open.
    bool write(const QByteArray& bytes);
    QByteArray readAll();

    // Bounds of what the server is given to do at open.
    static constexpr int kConnectMs = 5000;
    static constexpr int kNegotiationMs = 2000;

signals:
    void opened();
    void readyRead();
    // The connection failed or dropped; failure() says why.
    void closed();

private:
    void onConnected();
    void onReadyRead();
    void onError(QAbstractSocket::SocketError error);
    void fail(Fault fault, const QString& why);
    void onDeadline();
    void startStage(State state, int ms);
    // The server's words when it turns a client away: ser2net's "Port already in use".
    std::optional<QString> refusal() const;
    // Takes the line's bytes in; false when they were the server's refusal.
    bool screen(const QByteArray& data);

    QTcpSocket socket_;
    QTimer stageTimer_; // bounds connecting and negotiating when an event loop runs
    QDeadlineTimer stageDeadline_; // the same bound for waitForOpen()
    NetworkAddress address_;
    PortSettings settings_;
    telnet::Reader reader_;
    State state_ = State::Closed;
    Fault fault_ = Fault::None;
    QString failure_;
    QByteArray data_; // the line's bytes, not yet read
    QByteArray first_; // the line's first bytes on this connection while screened
    bool screening_ = true;
};

} // namespace line
