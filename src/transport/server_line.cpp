#include "server_line.h"

#include <QDeadlineTimer>

#include <utility>

namespace line {

namespace {

bool underway(ServerConnection::State state)
{
    return state == ServerConnection::State::Connecting
        || state == ServerConnection::State::Negotiating;
}

} // namespace

ServerLine::ServerLine(LineAddress address, QObject* parent)
    : Line(std::move(address), parent)
    , connection_(this)
{
    connect(&connection_, &ServerConnection::readyRead, this, &Line::readyRead);
    connect(&connection_, &ServerConnection::changed, this, &ServerLine::onChanged);
}

ServerLine::~ServerLine()
{
    disconnect(&connection_, nullptr, this, nullptr);
    connection_.close();
}

std::optional<LineFault> ServerLine::open(const PortSettings& settings)
{
    close();
    clearLoss();
    setSettings(settings);
    connection_.connectTo(address().serverAddress(), settings);
    if (auto fault = settle())
        return fault;
    open_ = true;
    return std::nullopt;
}

std::optional<LineFault> ServerLine::changeSettings(const PortSettings& settings)
{
    if (!isOpen())
        return open(settings);
    setSettings(settings);
    if (address().keepsServerRate())
        return std::nullopt;
    connection_.renegotiate(settings);
    return settle();
}

std::optional<LineFault> ServerLine::settle()
{
    while (underway(connection_.state()) && !interrupted()) {
        const auto left = connection_.deadline().remainingTimeAsDuration();
        if (left <= std::chrono::nanoseconds::zero())
            connection_.expire();
        else
            await(left);
    }
    if (interrupted())
        connection_.close();
    if (connection_.state() == ServerConnection::State::Open)
        return std::nullopt;
    if (connection_.fault().kind == Failure::None)
        return LineFault { Failure::Interrupted, QStringLiteral("interrupted") };
    return connection_.fault();
}

void ServerLine::close()
{
    open_ = false;
    connection_.close();
}

bool ServerLine::isOpen() const
{
    return open_ && connection_.state() == ServerConnection::State::Open;
}

bool ServerLine::write(const QByteArray& bytes)
{
    if (!isOpen() || !connection_.write(bytes))
        return false;
    const QDeadlineTimer deadline(kWriteTimeout);
    while (connection_.unsent() > 0 && isOpen() && !interrupted() && !deadline.hasExpired())
        await(deadline.remainingTimeAsDuration());
    if (connection_.unsent() > 0 && isOpen() && !interrupted())
        connection_.close();
    return connection_.unsent() == 0 && isOpen();
}

QByteArray ServerLine::readAll()
{
    return connection_.readAll();
}

void ServerLine::discardInput()
{
    connection_.readAll();
}

void ServerLine::onChanged()
{
    endWait();
    if (!open_ || connection_.state() != ServerConnection::State::Closed)
        return;
    open_ = false;
    const LineFault fault = connection_.fault();
    announceLoss(fault.kind == Failure::None
            ? LineFault { Failure::Lost, QStringLiteral("the server did not take the request") }
            : fault);
}

} // namespace line
