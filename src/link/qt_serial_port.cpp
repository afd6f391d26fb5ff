#include "qt_serial_port.h"

#include "link/port_name.h"
#include "link/qt_port_setup.h"

#include <QMetaObject>

#include <utility>

namespace line {

namespace {

// A write that has not left after this long is a failed write.
constexpr int kWriteTimeoutMs = 500;

} // namespace

QtSerialPort::QtSerialPort(QObject* parent)
    : SerialPort(parent)
    , port_(this)
{
    connect(&port_, &QSerialPort::readyRead, this, &QtSerialPort::readyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
}

ProbeOutcome QtSerialPort::probe(const QString& device)
{
    if (device.isEmpty()) {
        failure_ = QStringLiteral("no serial port stands for this number");
        return ProbeOutcome::Missing;
    }
    port_.setPortName(resolvedDevice(device));
    if (!port_.open(QIODevice::ReadWrite)) {
        const auto outcome = openOutcome(port_, device);
        failure_ = openFailure(port_, device);
        return outcome;
    }
    port_.close();
    return ProbeOutcome::Usable;
}

bool QtSerialPort::open(const QString& device, const PortSettings& settings)
{
    setUpPort(port_, device, settings);
    if (!port_.open(QIODevice::ReadWrite)) {
        failure_ = openFailure(port_, device);
        return false;
    }
    port_.clear(QSerialPort::Input);
    port_.clearError();
    held_.clear();
    askForInput();
    return true;
}

void QtSerialPort::close()
{
    if (port_.isOpen())
        port_.close();
    port_.clearError();
    held_.clear();
}

bool QtSerialPort::isOpen() const
{
    return port_.isOpen();
}

bool QtSerialPort::write(const QByteArray& bytes)
{
    if (!port_.isOpen() || port_.write(bytes) != bytes.size())
        return false;
    // write() only buffers; without this the request would leave after the caller's wait.
    port_.flush();
    while (port_.isOpen() && port_.bytesToWrite() > 0)
        if (!port_.waitForBytesWritten(kWriteTimeoutMs))
            return false;
    if (!port_.isOpen() || port_.error() != QSerialPort::NoError)
        return false;
    askForInput();
    return true;
}

QByteArray QtSerialPort::readAll()
{
    QByteArray bytes = std::exchange(held_, {});
    if (port_.isOpen())
        bytes += port_.readAll();
    return bytes;
}

// Qt's Windows backend starts reading when WaitCommEvent reports a byte; wine (8.0) never
// completes that wait, so on wine nothing is ever read. A read request, which Qt makes
// whenever it is asked for bytes it does not hold, does complete on wine, and on Windows it is
// Qt's own way of asking again. So ask after open and after each write.
void QtSerialPort::askForInput()
{
#ifdef Q_OS_WIN
    const bool wasEmpty = held_.isEmpty();
    held_ += port_.readAll();
    // Bytes taken here would otherwise never be announced.
    if (wasEmpty && !held_.isEmpty())
        QMetaObject::invokeMethod(this, &QtSerialPort::readyRead, Qt::QueuedConnection);
#endif
}

void QtSerialPort::onError(QSerialPort::SerialPortError error)
{
    if (!meansGone(error) || !port_.isOpen())
        return;
    port_.close();
    port_.clearError();
    emit lost();
}

} // namespace line
