#pragma once

#include "ports/network_address.h"
#include "rtu/failure.h"
#include "rtu/port_settings.h"
#include "transport/telnet_codec.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QTcpSocket>

#include <chrono>
#include <optional>

namespace line {

// The connection to a serial device server: the line's bytes both ways, and for RFC 2217 the
// Telnet exchange around them, with the line settings sent once the connection is up and
// whenever they change. Open once the server has answered the rate (RFC 2217) or at once
// (raw TCP). It waits for nothing itself: its owner waits for changed(), up to deadline().
// Whatever a server sends, every buffer here stays within its bound.
class ServerConnection final : public QObject {
    Q_OBJECT

public:
    enum class State { Closed, Connecting, Negotiating, Open };

    // Bounds of what the server is given to do: connect, then answer the settings. A small
    // server that serves one client at a time may answer only a few seconds after the last
    // one left.
    static constexpr std::chrono::milliseconds kConnectTimeout { 5000 };
    static constexpr std::chrono::milliseconds kNegotiationTimeout { 5000 };
    // The line's bytes not yet read; past it a flood is dropped.
    static constexpr qsizetype kBufferBytes = 4096;
    // Our bytes the server has not taken: a server that stops reading is lost at this.
    static constexpr qint64 kMostUnsent = 4096;

    explicit ServerConnection(QObject* parent = nullptr);
    // Closes first: a socket closed by its own destructor would signal into members gone.
    ~ServerConnection() override;

    void connectTo(const NetworkAddress& address, const PortSettings& settings);
    // Sends new line settings on the open connection, RFC 2217 only: Negotiating until the
    // server has answered the rate.
    void renegotiate(const PortSettings& settings);
    // The end of the stage in progress.
    const QDeadlineTimer& deadline() const { return deadline_; }
    // The stage's time has passed: it fails, in its own words.
    void expire();
    void close();

    State state() const { return state_; }
    // Why the connection is not, or no longer, of use; Failure::None while nothing went wrong.
    const LineFault& fault() const { return fault_; }

    // Queues the line's bytes for the server and pushes them towards it; false when the
    // connection is not open or the server has stopped taking what it is sent.
    bool write(const QByteArray& bytes);
    // Our bytes the system has not taken yet.
    qint64 unsent() const { return socket_.bytesToWrite(); }
    QByteArray readAll();

signals:
    // The state moved on, or our bytes left.
    void changed();
    void readyRead();

private:
    bool speaksTelnet() const;
    void onConnected();
    void onReadyRead();
    void onError(QAbstractSocket::SocketError error);
    void take(const telnet::Reader::Taken& taken);
    void takeRateAnswer(const telnet::PortAnswer& answer);
    void takeRateNotice(const telnet::PortAnswer& answer);
    // Sends the settings, after the bytes that go before them.
    void negotiate(const PortSettings& settings, const QByteArray& before = {});
    enum class Push { Now, Later };
    void send(const QByteArray& bytes, Push push);
    void fail(const LineFault& fault);
    void becomeOpen();
    // The server's words when it turns a client away: ser2net's "Port already in use".
    std::optional<QString> refusal() const;
    // Takes the line's bytes in; false when they were the server's refusal.
    bool screen(const QByteArray& data);

    QTcpSocket socket_;
    QDeadlineTimer deadline_;
    NetworkAddress address_;
    PortSettings settings_;
    telnet::Reader reader_;
    State state_ = State::Closed;
    LineFault fault_;
    QByteArray data_; // the line's bytes, not yet read
    QByteArray first_; // the line's first bytes on this connection while screened
    bool screening_ = true;
    bool telnetSeen_ = false; // the server has spoken Telnet on this connection
    bool lineBytesSeen_ = false; // line bytes came while the settings were on their way
};

} // namespace line
