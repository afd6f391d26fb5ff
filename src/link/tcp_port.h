#pragma once

#include "link/serial_port.h"
#include "link/server_connection.h"

namespace line {

// A serial line behind a device server as the window uses it; the device is a network
// address, "tcp:HOST:PORT" or "rfc2217:HOST:PORT". Opening waits for the connection without
// an event loop, so the window takes no clicks meanwhile, as while a serial port opens.
class TcpPort final : public SerialPort {
    Q_OBJECT

public:
    explicit TcpPort(QObject* parent = nullptr);

    ProbeOutcome probe(const QString& device) override;
    bool open(const QString& device, const PortSettings& settings) override;
    QString failure() const override { return failure_; }
    void close() override;
    bool isOpen() const override;
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;

    // How long a probe of a raw TCP port listens for the server turning it away: a raw port
    // has no negotiation that would show it.
    static constexpr int kRefusalWaitMs = 200;

private:
    void onClosed();

    ServerConnection connection_;
    QString failure_;
    bool open_ = false;
};

} // namespace line
