#include "qt_port_setup.h"

#include "link/port_name.h"
#include "link/probe_outcome.h"

#include <QFileInfo>

namespace line {

namespace {

// Buffer size of the line, in bytes.
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

} // namespace

void setUpPort(QSerialPort& port, const QString& device, const PortSettings& settings)
{
    // Qt locks the device under the name it is given: every spelling of one device must come
    // to the same lock.
    port.setPortName(resolvedDevice(device));
    port.setBaudRate(settings.baud);
    port.setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits));
    const auto parity = parityOfLetter(settings.parity);
    port.setParity(parity ? parity->serial : QSerialPort::NoParity);
    port.setStopBits(settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    port.setReadBufferSize(kBufferSize);
}

ProbeOutcome openOutcome(const QSerialPort& port, const QString& device)
{
    return probeOutcome(port.error(), accessible(device));
}

QString openFailure(QSerialPort& port, const QString& device)
{
    const QString why = probeReason(
        port.error(), port.errorString(), accessible(device), QFileInfo(device).group());
    port.clearError();
    return why;
}

bool meansGone(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError
        || error == QSerialPort::WriteError;
}

} // namespace line
