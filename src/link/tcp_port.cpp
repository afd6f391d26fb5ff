#include "tcp_port.h"

#include <utility>

namespace line {

namespace {

ProbeOutcome outcomeOf(ServerConnection::Fault fault)
{
    switch (fault) {
    case ServerConnection::Fault::None:
        return ProbeOutcome::Usable;
    case ServerConnection::Fault::NotFound:
    case ServerConnection::Fault::Refused:
        return ProbeOutcome::Missing;
    case ServerConnection::Fault::InUse:
        return ProbeOutcome::Busy;
    case ServerConnection::Fault::Other:
        break;
    }
    return ProbeOutcome::OtherFailure;
}

} // namespace

TcpPort::TcpPort(QObject* parent)
    : SerialPort(parent)
    , connection_(this)
{
    connect(&connection_, &ServerConnection::readyRead, this, &TcpPort::readyRead);
    connect(&connection_, &ServerConnection::closed, this, &TcpPort::onClosed);
}

ProbeOutcome TcpPort::probe(const QString& device)
{
    close();
    connection_.connectTo(device, PortSettings {});
    if (connection_.waitForOpen())
        connection_.waitForWords(kRefusalWaitMs);
    failure_ = connection_.failure();
    const ProbeOutcome outcome = outcomeOf(connection_.fault());
    connection_.close();
    return outcome;
}

bool TcpPort::open(const QString& device, const PortSettings& settings)
{
    close();
    connection_.connectTo(device, settings);
    open_ = connection_.waitForOpen();
    failure_ = connection_.failure();
    return open_;
}

void TcpPort::close()
{
    open_ = false;
    connection_.close();
}

bool TcpPort::isOpen() const
{
    return open_ && connection_.state() == ServerConnection::State::Open;
}

bool TcpPort::write(const QByteArray& bytes)
{
    return connection_.write(bytes);
}

QByteArray TcpPort::readAll()
{
    return connection_.readAll();
}

void TcpPort::onClosed()
{
    if (!std::exchange(open_, false))
        return;
    failure_ = connection_.failure();
    emit lost();
}

} // namespace line
