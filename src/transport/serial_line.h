#pragma once

#include "transport/line.h"

#include <QSerialPort>

namespace line {

// A serial device: an adapter, a built-in port, a pseudo-terminal.
class SerialLine final : public Line {
    Q_OBJECT

public:
    explicit SerialLine(LineAddress address, QObject* parent = nullptr);

    std::optional<LineFault> open(const PortSettings& settings) override;
    std::optional<LineFault> changeSettings(const PortSettings& settings) override;
    void close() override;
    bool isOpen() const override;
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    void discardInput() override;

private:
    void apply(const PortSettings& settings);
    void onError(QSerialPort::SerialPortError error);
    void lose(const LineFault& fault);
    void askForInput();

    QSerialPort port_;
    QByteArray held_; // read by askForInput(), not yet taken by readAll()
};

} // namespace line
