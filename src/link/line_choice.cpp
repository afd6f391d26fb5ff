#include "line_choice.h"

#include "link/network_address.h"
#include "link/qt_serial_port.h"
#include "link/serial_line.h"

#ifdef PWM5_NETWORK
#include "link/tcp_line.h"
#include "link/tcp_port.h"
#endif

namespace line {

std::optional<QString> unreachable(const QString& device)
{
#ifdef PWM5_NETWORK
    Q_UNUSED(device);
    return std::nullopt;
#else
    if (!namesNetworkLine(device))
        return std::nullopt;
    return QStringLiteral("this build reaches serial ports only, not a device server");
#endif
}

std::unique_ptr<BlockingLine> blockingLineFor(const QString& device)
{
#ifdef PWM5_NETWORK
    if (namesNetworkLine(device))
        return std::make_unique<TcpLine>();
#else
    Q_UNUSED(device);
#endif
    return std::make_unique<SerialLine>();
}

ChosenPort::ChosenPort(QObject* parent)
    : SerialPort(parent)
{
    take(serial_ = new QtSerialPort(this));
#ifdef PWM5_NETWORK
    take(network_ = new TcpPort(this));
#endif
    current_ = serial_;
}

void ChosenPort::take(SerialPort* port)
{
    // Only the port in use has anything to say; the other is closed.
    connect(port, &SerialPort::readyRead, this, &SerialPort::readyRead);
    connect(port, &SerialPort::lost, this, &SerialPort::lost);
}

SerialPort& ChosenPort::pick(const QString& device)
{
    SerialPort& next = network_ && namesNetworkLine(device) ? *network_ : *serial_;
    if (&next != current_)
        current_->close();
    current_ = &next;
    unreachable_ = unreachable(device).value_or(QString());
    return next;
}

ProbeOutcome ChosenPort::probe(const QString& device)
{
    SerialPort& port = pick(device);
    return unreachable_.isEmpty() ? port.probe(device) : ProbeOutcome::OtherFailure;
}

bool ChosenPort::open(const QString& device, const PortSettings& settings)
{
    SerialPort& port = pick(device);
    return unreachable_.isEmpty() && port.open(device, settings);
}

QString ChosenPort::failure() const
{
    return unreachable_.isEmpty() ? current_->failure() : unreachable_;
}

void ChosenPort::close()
{
    current_->close();
}

} // namespace line
