#include "qt_serial_port.h"

#include <QFileInfo>
#include <QMetaObject>

#include <utility>

namespace line {

namespace {

// Buffer sizes of the line, in bytes each way.
constexpr qint64 kBufferSize = 1024;
// A write that has not left after this long is a failed write.
constexpr int kWriteTimeoutMs = 500;

// Whether this user may read and write the device; a lock held by another program leaves
// that unchanged.
bool accessible(const QString& device)
{
#ifdef Q_OS_UNIX
    const QFileInfo info(device);
    return info.isReadable() && info.isWritable();
#else
    // Windows denies access to a port that another program holds, whatever the user.
    Q_UNUSED(device);
    return true;
#endif
}

QSerialPort::Parity parity(char letter)
{
    return letter == 'O' ? QSerialPort::OddParity
        : letter == 'E'  ? QSerialPort::EvenParity
                         : QSerialPort::NoParity;
}

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
    port_.setPortName(device);
    if (!port_.open(QIODevice::ReadWrite)) {
        const auto outcome = probeOutcome(port_.error(), accessible(device));
        noteFailure(device);
        return outcome;
    }
    port_.close();
    return ProbeOutcome::Usable;
}

bool QtSerialPort::open(const QString& device, const PortSettings& settings)
{
    // A pty refuses some settings once open but takes them all before, so set them first.
    port_.setPortName(device);
    port_.setBaudRate(settings.baud);
    port_.setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits));
    port_.setParity(parity(settings.parity));
    port_.setStopBits(settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    port_.setReadBufferSize(kBufferSize);
    if (!port_.open(QIODevice::ReadWrite)) {
        noteFailure(device);
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
    bytes += port_.readAll();
    return bytes;
}

void QtSerialPort::discardInput()
{
    port_.clear(QSerialPort::Input);
    port_.readAll();
    held_.clear();
}

bool QtSerialPort::waitForReadyRead(int msecs)
{
    if (!port_.isOpen())
        return false;
    askForInput();
    if (!held_.isEmpty())
        return true;
    const bool ready = port_.waitForReadyRead(msecs);
    // A wait that ran out is no fault of the port, but Qt keeps it as the port's error, and
    // the next write would be judged by it.
    if (!ready && port_.error() == QSerialPort::TimeoutError)
        port_.clearError();
    return ready;
}

// Qt's Windows backend starts reading when WaitCommEvent reports a byte; wine (8.0) never
// completes that wait, so on wine nothing is ever read. A read request, which Qt makes
// whenever it is asked for bytes it does not hold, does complete on wine, and on Windows it is
// Qt's own way of asking again. So ask after open and each write, and before each wait.
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

void QtSerialPort::noteFailure(const QString& device)
{
    failure_ = probeReason(
        port_.error(), port_.errorString(), accessible(device), QFileInfo(device).group());
    port_.clearError();
}

void QtSerialPort::onError(QSerialPort::SerialPortError error)
{
    // Qt repeats these in a busy loop for as long as the port stays open.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError
        || error == QSerialPort::WriteError;
    if (!gone || !port_.isOpen())
        return;
    port_.close();
    port_.clearError();
    emit lost();
}

} // namespace line
