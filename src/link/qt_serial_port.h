#pragma once

#include "link/serial_port.h"

#include <QSerialPort>

namespace line {

class QtSerialPort final : public SerialPort {
    Q_OBJECT

public:
    explicit QtSerialPort(QObject* parent = nullptr);

    ProbeOutcome probe(const QString& device) override;
    bool open(const QString& device, const PortSettings& settings) override;
    QString failure() const override { return failure_; }
    void close() override;
    bool isOpen() const override;
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;

    // For a caller that may block, unlike the window: drops whatever waits to be read, and
    // waits until more arrives or the time is up.
    void discardInput();
    bool waitForReadyRead(int msecs);

private:
    void onError(QSerialPort::SerialPortError error);
    void noteFailure(const QString& device);
    void askForInput();

    QSerialPort port_;
    QString failure_;
    QByteArray held_; // read by askForInput(), not yet taken by readAll()
};

} // namespace line
