#pragma once

#include "link/blocking_line.h"

#include <QSerialPort>

namespace line {

// A serial device for a master that may block. Its waits run a local event loop, so that the
// device's own events, a lost device and an interrupt all end them at once.
class SerialLine final : public BlockingLine {
    Q_OBJECT

public:
    explicit SerialLine(QObject* parent = nullptr);

    std::optional<QString> open(const QString& device, const PortSettings& settings) override;
    void close() override;
    bool isOpen() const override;
    QString lostReason() const override { return lostReason_; }
    bool write(const QByteArray& bytes) override;
    void discardInput() override;
    Arrival read(std::chrono::nanoseconds within) override;

private:
    void onError(QSerialPort::SerialPortError error);
    void askForInput();

    QSerialPort port_;
    QString device_; // as the caller named it
    QString lostReason_;
    QByteArray held_; // read by askForInput(), not yet returned
};

} // namespace line
