#pragma once

#include "link/blocking_line.h"
#include "link/server_connection.h"

namespace line {

// A serial line behind a device server, for a master that may block; the device is a
// network address, "tcp:HOST:PORT" or "rfc2217:HOST:PORT". Its waits run a local event loop,
// as the serial line's do.
class TcpLine final : public BlockingLine {
    Q_OBJECT

public:
    explicit TcpLine(QObject* parent = nullptr);

    std::optional<QString> open(const QString& device, const PortSettings& settings) override;
    void close() override;
    bool isOpen() const override;
    QString lostReason() const override;
    bool write(const QByteArray& bytes) override;
    void discardInput() override;
    Arrival read(std::chrono::nanoseconds within) override;

private:
    // Until one of the connection's signals, the time, or an interrupt.
    void await(std::chrono::nanoseconds within);

    ServerConnection connection_;
    QString device_;
};

} // namespace line
