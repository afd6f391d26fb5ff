#include "serial_line.h"

#include "ports/port_holder.h"

#include "transport/line_faults.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QMetaObject>

#include <utility>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace line {

namespace {

// Buffer size of the line, in bytes: a device that streams cannot grow it further.
constexpr qint64 kBufferSize = 1024;

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

// Whether the open device has hung up: its other end closed, or it was unplugged.
bool hungUp(const QSerialPort& port)
{
#ifdef Q_OS_UNIX
    pollfd device { port.handle(), POLLIN, 0 };
    return ::poll(&device, 1, 0) == 1 && (device.revents & POLLHUP) != 0;
#else
    Q_UNUSED(port);
    return false;
#endif
}

} // namespace

SerialLine::SerialLine(LineAddress address, QObject* parent)
    : Line(std::move(address), parent)
    , port_(this)
{
    connect(&port_, &QSerialPort::readyRead, this, &Line::readyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialLine::onError);
}

// Before the port opens: a pty refuses some settings once open but takes them all before.
void SerialLine::apply(const PortSettings& settings)
{
    setSettings(settings);
    port_.setBaudRate(settings.baud);
    port_.setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits));
    const auto parity = parityOfLetter(settings.parity);
    port_.setParity(parity ? parity->serial : QSerialPort::NoParity);
    port_.setStopBits(settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
}

std::optional<LineFault> SerialLine::open(const PortSettings& settings)
{
    close();
    clearLoss();
    // Qt locks the device under the name it is given: every spelling of one device comes to
    // the same lock, and a link is followed anew at each open.
    const QString device = address().devicePath();
    port_.setPortName(resolvedDevice(device));
    port_.setReadBufferSize(kBufferSize);
    apply(settings);
    if (!port_.open(QIODevice::ReadWrite)) {
        LineFault fault = serialOpenFault(
            port_.error(), port_.errorString(), accessible(device), QFileInfo(device).group());
        // Which program, and when it is the bridge, how to reach the line through it.
        if (fault.kind == Failure::Busy && port_.error() == QSerialPort::PermissionError)
            if (const auto holder = portHolder(port_.portName()))
                fault.text = heldText(*holder);
        port_.clearError();
        return fault;
    }
    port_.clear(QSerialPort::Input);
    port_.clearError();
    askForInput();
    return std::nullopt;
}

// A rate alone changes on the open port; other settings reopen it, as a pty takes them only
// before it opens.
std::optional<LineFault> SerialLine::changeSettings(const PortSettings& settings)
{
    PortSettings sameButRate = settings;
    sameButRate.baud = this->settings().baud;
    if (!port_.isOpen() || sameButRate != this->settings() || !port_.setBaudRate(settings.baud))
        return open(settings);
    setSettings(settings);
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
    // write() only buffers; a reply's deadline counts from the moment the driver has it.
    port_.flush();
    const QDeadlineTimer deadline(kWriteTimeout);
    while (written && port_.isOpen() && port_.bytesToWrite() > 0)
        written = port_.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
    if (written && port_.isOpen() && port_.error() == QSerialPort::NoError) {
        askForInput();
        return true;
    }
    if (!port_.isOpen())
        return false;
    // A device that vanished under the write is gone, however Qt words it.
    lose(meansGone(port_.error()) ? serialLossFault(port_.errorString(), hungUp(port_))
                                  : LineFault { Failure::Lost,
                                      QStringLiteral("the port did not take the request (%1)")
                                          .arg(lowerFirst(port_.errorString())) });
    return false;
}

QByteArray SerialLine::readAll()
{
    QByteArray bytes = std::exchange(held_, {});
    if (port_.isOpen())
        bytes += port_.readAll();
    return bytes;
}

void SerialLine::discardInput()
{
    held_.clear();
    if (!port_.isOpen())
        return;
    port_.clear(QSerialPort::Input);
    port_.readAll();
}

void SerialLine::onError(QSerialPort::SerialPortError error)
{
    if (meansGone(error) && port_.isOpen())
        lose(serialLossFault(port_.errorString(), hungUp(port_)));
}

void SerialLine::lose(const LineFault& fault)
{
    port_.close();
    port_.clearError();
    held_.clear();
    announceLoss(fault);
}

// Qt's Windows backend starts reading when WaitCommEvent reports a byte; wine (8.0) never
// completes that wait, so on wine nothing is ever read. A read request, which Qt makes
// whenever it is asked for bytes it does not hold, does complete on wine, and on Windows it is
// Qt's own way of asking again. So ask after open and after each write; readAll() asks too.
void SerialLine::askForInput()
{
#ifdef Q_OS_WIN
    const bool wasEmpty = held_.isEmpty();
    held_ += port_.readAll();
    // Bytes taken here would otherwise never be announced.
    if (wasEmpty && !held_.isEmpty())
        QMetaObject::invokeMethod(this, &Line::readyRead, Qt::QueuedConnection);
#endif
}

} // namespace line
