#include "serial_line.h"

#include "link/qt_port_setup.h"

#include <utility>

namespace line {

namespace {

// A write that has not left after this long is a failed write.
constexpr int kWriteTimeoutMs = 500;

// Qt's texts start with a capital, as sentences do; here they follow other words.
QString lowerFirst(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

} // namespace

SerialLine::SerialLine(QObject* parent)
    : BlockingLine(parent)
    , port_(this)
{
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialLine::onError);
}

std::optional<QString> SerialLine::open(const QString& device, const PortSettings& settings)
{
    close();
    device_ = device;
    lostReason_.clear();
    setUpPort(port_, device, settings);
    if (!port_.open(QIODevice::ReadWrite))
        return openFailure(port_, device);
    port_.clear(QSerialPort::Input);
    port_.clearError();
    askForInput();
    return std::nullopt;
}

void SerialLine::close()
{
    if (port_.isOpen())
        port_.close();
    port_.clearError();
    held_.clear();
}

bool SerialLine::isOpen() const
{
    return port_.isOpen();
}

bool SerialLine::write(const QByteArray& bytes)
{
    if (!port_.isOpen())
        return false;
    bool written = port_.write(bytes) == bytes.size();
    // write() only buffers; the reply's deadline counts from the moment the driver has it.
    port_.flush();
    while (written && port_.isOpen() && port_.bytesToWrite() > 0)
        written = port_.waitForBytesWritten(kWriteTimeoutMs);
    if (written && port_.isOpen() && port_.error() == QSerialPort::NoError) {
        askForInput();
        return true;
    }
    // A device that vanished under the write is gone, however Qt words it.
    const bool gone = !port_.isOpen() || meansGone(port_.error());
    if (lostReason_.isEmpty())
        lostReason_ = QStringLiteral("%1: %2 (%3)")
                          .arg(device_,
                              gone ? QStringLiteral("the device is gone")
                                   : QStringLiteral("the port did not take the request"),
                              lowerFirst(port_.errorString()));
    if (port_.isOpen() && gone)
        port_.close();
    return false;
}

void SerialLine::discardInput()
{
    held_.clear();
    if (!port_.isOpen())
        return;
    port_.clear(QSerialPort::Input);
    port_.readAll();
}

BlockingLine::Arrival SerialLine::read(std::chrono::nanoseconds within)
{
    if (interrupted())
        return { Event::Interrupted, {} };
    askForInput();
    if (!held_.isEmpty())
        return { Event::Bytes, std::exchange(held_, {}) };
    if (!port_.isOpen())
        return { Event::Lost, {} };

    awaitSignals(within, &port_, &QSerialPort::readyRead);

    if (interrupted())
        return { Event::Interrupted, {} };
    QByteArray bytes = std::exchange(held_, {});
    if (port_.isOpen())
        bytes += port_.readAll();
    if (!bytes.isEmpty())
        return { Event::Bytes, bytes };
    return { port_.isOpen() ? Event::TimedOut : Event::Lost, {} };
}

void SerialLine::onError(QSerialPort::SerialPortError error)
{
    if (!meansGone(error) || !port_.isOpen())
        return;
    lostReason_ = QStringLiteral("%1: the device is gone (%2)")
                      .arg(device_, lowerFirst(port_.errorString()));
    port_.close();
    port_.clearError();
    endWait();
}

// Qt's Windows backend starts reading when WaitCommEvent reports a byte; wine (8.0) never
// completes that wait, so on wine nothing is ever read. A read request, which Qt makes
// whenever it is asked for bytes it does not hold, does complete on wine, and on Windows it is
// Qt's own way of asking again. So ask after open and each write, and before each wait.
void SerialLine::askForInput()
{
#ifdef Q_OS_WIN
    if (port_.isOpen())
        held_ += port_.readAll();
#endif
}

} // namespace line
