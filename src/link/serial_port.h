#pragma once

#include "link/port_settings.h"
#include "link/probe_outcome.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace line {

// The serial line as the window uses it, and nothing more.
class SerialPort : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~SerialPort() override;

    // Opens the device and closes it again, to learn whether it can be used.
    virtual ProbeOutcome probe(const QString& device) = 0;
    // Applies the line settings, opens, and discards input that was waiting.
    virtual bool open(const QString& device, const PortSettings& settings) = 0;
    // Why the last probe or open failed, as probeReason words it.
    virtual QString failure() const = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Writes the whole block and pushes it to the device before returning; false when it
    // did not all leave.
    virtual bool write(const QByteArray& bytes) = 0;
    virtual QByteArray readAll() = 0;

signals:
    void readyRead();
    // The device went away while open (adapter pulled, peer closed); the port is closed.
    void lost();
};

} // namespace line
