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

private:
    void onError(QSerialPort::SerialPortError error);
    void askForInput();

    QSerialPort port_;
    QString failure_;
    QByteArray held_; // read by askForInput(), not yet taken by readAll()
};

} // namespace line
