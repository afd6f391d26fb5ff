#pragma once

#include "link/port_settings.h"

#include <QByteArray>
#include <QEventLoop>
#include <QObject>
#include <QString>

#include <chrono>
#include <optional>

namespace line {

// The line as a master that may block uses it, the command line's: each call returns when it
// is done, when the device has gone, or when interrupt() was called from the event loop that
// the waits run (a signal's notifier).
class BlockingLine : public QObject {
    Q_OBJECT

public:
    enum class Event { Bytes, TimedOut, Lost, Interrupted };
    struct Arrival {
        Event event;
        QByteArray bytes;
    };

    using QObject::QObject;
    ~BlockingLine() override;

    // Applies the settings and opens the device; why it cannot be used, or nothing.
    virtual std::optional<QString> open(const QString& device, const PortSettings& settings) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The device and why it went away, once it has: "/dev/ttyUSB0: the device is gone (...)".
    virtual QString lostReason() const = 0;

    // Writes the whole block and returns once the driver has taken it; false when it did not.
    virtual bool write(const QByteArray& bytes) = 0;
    // Drops what waits to be read.
    virtual void discardInput() = 0;
    // The bytes that arrive within the time, as soon as there are any.
    virtual Arrival read(std::chrono::nanoseconds within) = 0;

    bool interrupted() const { return interrupted_; }

public slots:
    // Ends the wait in progress; every later one ends at once, too.
    void interrupt();

protected:
    // Runs an event loop until the time has passed, one of the sender's signals came, or an
    // interrupt: awaitSignals(within, &port, &QSerialPort::readyRead).
    template <typename Sender, typename... Signal>
    void awaitSignals(std::chrono::nanoseconds within, const Sender* sender, Signal... ends)
    {
        QEventLoop loop;
        (QObject::connect(sender, ends, &loop, &QEventLoop::quit), ...);
        await(loop, within);
    }

    // Ends the wait in progress, if any, as its signal would (a device that went away).
    void endWait();

private:
    void await(QEventLoop& loop, std::chrono::nanoseconds within);

    bool interrupted_ = false;
    QEventLoop* waiting_ = nullptr;
};

enum class Quiet { Quiet, Babbling, Lost, Interrupted };

// Reads and drops until the line has been silent for the gap, but for no longer than the
// bound: a device that sends without end must not hold the master for ever.
Quiet waitForQuiet(
    BlockingLine& line, std::chrono::nanoseconds gap, std::chrono::nanoseconds bound);

} // namespace line
