#pragma once

#include "ports/line_address.h"
#include "rtu/failure.h"
#include "rtu/port_settings.h"

#include <QByteArray>
#include <QObject>

#include <chrono>
#include <optional>

class QEventLoop;

namespace line {

// The line to the modules as both front ends use it, one implementation per transport: a
// serial device, a device server's port. A call that has to wait for the line (a server's
// connection and negotiation, a write the system has not taken yet) runs a local event loop
// without user input meanwhile, which interrupt() and close() end at once: a stop signal is
// heard while the line waits.
class Line : public QObject {
    Q_OBJECT

public:
    // A write that the system has not taken after this long has failed.
    static constexpr std::chrono::milliseconds kWriteTimeout { 500 };

    explicit Line(LineAddress address, QObject* parent = nullptr);
    ~Line() override;

    const LineAddress& address() const { return address_; }
    // The settings of the last open or change; the times on the line are counted by them.
    const PortSettings& settings() const { return settings_; }

    // Opens at the settings, with nothing of what waited kept; the fault when it did not open.
    virtual std::optional<LineFault> open(const PortSettings& settings) = 0;
    // New settings for the open line, without closing it: a serial port's own, or the far
    // line's over RFC 2217, answered by the server before this returns. A raw TCP port keeps
    // its server's; only the settings its times are counted by change.
    virtual std::optional<LineFault> changeSettings(const PortSettings& settings) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Writes the whole block and returns once the system has taken it. A line that does not
    // take it within kWriteTimeout is lost: false, with lost() emitted.
    virtual bool write(const QByteArray& bytes) = 0;
    virtual QByteArray readAll() = 0;
    // Drops what waits to be read.
    virtual void discardInput() = 0;

    // Why the line went away, once it has; cleared by the next open.
    const std::optional<LineFault>& lostFault() const { return lost_; }

    // Ends the wait in progress; every later wait ends at once too.
    void interrupt();
    bool interrupted() const { return interrupted_; }

    // Runs a local event loop until the time has passed or the line has news: bytes, its
    // loss, a change of its own state, a close or an interrupt.
    void await(std::chrono::nanoseconds within);

signals:
    void readyRead();
    // The device went away, or the server dropped the connection or turned the client away,
    // while the line was open; it is closed now.
    void lost(const line::LineFault& fault);

protected:
    void setSettings(const PortSettings& settings) { settings_ = settings; }
    void clearLoss() { lost_.reset(); }
    // Records why the line went away, and says so: the transport has closed it already.
    void announceLoss(const LineFault& fault);
    // Ends the wait in progress, if any: the line's state has changed.
    void endWait();

private:
    LineAddress address_;
    PortSettings settings_;
    std::optional<LineFault> lost_;
    bool interrupted_ = false;
    QEventLoop* waiting_ = nullptr;
};

} // namespace line
