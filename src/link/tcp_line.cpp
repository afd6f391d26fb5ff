#include "tcp_line.h"

namespace line {

TcpLine::TcpLine(QObject* parent)
    : BlockingLine(parent)
    , connection_(this)
{
}

std::optional<QString> TcpLine::open(const QString& device, const PortSettings& settings)
{
    close();
    device_ = device;
    connection_.connectTo(device, settings);
    while (!interrupted()
        && (connection_.state() == ServerConnection::State::Connecting
            || connection_.state() == ServerConnection::State::Negotiating))
        await(std::chrono::milliseconds(
            ServerConnection::kConnectMs + ServerConnection::kNegotiationMs));
    if (connection_.state() == ServerConnection::State::Open)
        return std::nullopt;
    if (interrupted()) {
        connection_.close();
        return QStringLiteral("interrupted while connecting");
    }
    return connection_.failure();
}

void TcpLine::close()
{
    connection_.close();
}

bool TcpLine::isOpen() const
{
    return connection_.state() == ServerConnection::State::Open;
}

QString TcpLine::lostReason() const
{
    if (connection_.failure().isEmpty())
        return {};
    return QStringLiteral("%1: %2").arg(device_, connection_.failure());
}

bool TcpLine::write(const QByteArray& bytes)
{
    return connection_.write(bytes);
}

void TcpLine::discardInput()
{
    connection_.readAll();
}

BlockingLine::Arrival TcpLine::read(std::chrono::nanoseconds within)
{
    if (interrupted())
        return { Event::Interrupted, {} };
    if (QByteArray bytes = connection_.readAll(); !bytes.isEmpty())
        return { Event::Bytes, bytes };
    if (!isOpen())
        return { Event::Lost, {} };
    await(within);
    if (interrupted())
        return { Event::Interrupted, {} };
    if (QByteArray bytes = connection_.readAll(); !bytes.isEmpty())
        return { Event::Bytes, bytes };
    return { isOpen() ? Event::TimedOut : Event::Lost, {} };
}

void TcpLine::await(std::chrono::nanoseconds within)
{
    awaitSignals(within, &connection_, &ServerConnection::readyRead, &ServerConnection::opened,
        &ServerConnection::closed);
}

} // namespace line
