#pragma once

#include "link/blocking_line.h"
#include "link/serial_port.h"

#include <QString>

#include <memory>
#include <optional>

// Which line a device name stands for: a network address ("tcp:HOST:PORT",
// "rfc2217:HOST:PORT") is a device server's, anything else a serial device.
namespace line {

// Why this build cannot reach the device, or nothing: a build without the network library
// reaches serial devices only.
std::optional<QString> unreachable(const QString& device);

// The master's line for the device.
std::unique_ptr<BlockingLine> blockingLineFor(const QString& device);

// The window's port: each probe and open picks the serial port or the device server's by the
// device's name, and the other calls go to the one last picked.
class ChosenPort final : public SerialPort {
    Q_OBJECT

public:
    explicit ChosenPort(QObject* parent = nullptr);

    ProbeOutcome probe(const QString& device) override;
    bool open(const QString& device, const PortSettings& settings) override;
    QString failure() const override;
    void close() override;
    bool isOpen() const override { return current_->isOpen(); }
    bool write(const QByteArray& bytes) override { return current_->write(bytes); }
    QByteArray readAll() override { return current_->readAll(); }

private:
    SerialPort& pick(const QString& device);
    void take(SerialPort* port);

    SerialPort* serial_ = nullptr;
    SerialPort* network_ = nullptr; // none in a build without the network library
    SerialPort* current_ = nullptr;
    QString unreachable_; // why the device last asked for cannot be reached
};

} // namespace line
