#include "server_connection.h"

#include "transport/socket_faults.h"

#include <QLatin1StringView>

#include <algorithm>
#include <utility>

namespace line {

namespace {

// ser2net turns a second client away with a line of text and closes; what it says has
// "already in use" in it ("Port already in use", "Port's device already in use").
constexpr QLatin1StringView kInUse("already in use");
constexpr qsizetype kRefusalLength = 80;

// Whether the bytes could be a server's words: printable text and line ends. A Modbus frame
// never is, for its second byte, the function code, is below 0x20 or above 0x7E.
bool isText(QByteArrayView bytes)
{
    return std::ranges::all_of(bytes,
        [](char c) { return (c >= 0x20 && c < 0x7F) || c == '\r' || c == '\n' || c == '\t'; });
}

quint32 rateOf(const QByteArray& value)
{
    quint32 rate = 0;
    for (const char c : value)
        rate = rate << 8 | static_cast<std::uint8_t>(c);
    return rate;
}

} // namespace

ServerConnection::ServerConnection(QObject* parent)
    : QObject(parent)
    , socket_(this)
{
    // What the socket holds for us is read at once; a flood waits in the system, not here.
    socket_.setReadBufferSize(kBufferBytes);
    connect(&socket_, &QTcpSocket::connected, this, &ServerConnection::onConnected);
    connect(&socket_, &QTcpSocket::readyRead, this, &ServerConnection::onReadyRead);
    connect(&socket_, &QTcpSocket::bytesWritten, this, &ServerConnection::changed);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &ServerConnection::onError);
    connect(&socket_, &QTcpSocket::disconnected, this,
        [this] { onError(QAbstractSocket::RemoteHostClosedError); });
}

ServerConnection::~ServerConnection()
{
    close();
}

bool ServerConnection::speaksTelnet() const
{
    return address_.protocol == NetworkAddress::Protocol::Rfc2217;
}

void ServerConnection::connectTo(const NetworkAddress& address, const PortSettings& settings)
{
    close();
    fault_ = {};
    address_ = address;
    settings_ = settings;
    reader_ = telnet::Reader();
    first_.clear();
    screening_ = true;
    telnetSeen_ = false;
    lineBytesSeen_ = false;
    state_ = State::Connecting;
    deadline_.setRemainingTime(kConnectTimeout);
    socket_.connectToHost(address_.host, address_.port);
}

void ServerConnection::renegotiate(const PortSettings& settings)
{
    if (state_ != State::Open || !speaksTelnet())
        return;
    negotiate(settings);
}

void ServerConnection::negotiate(const PortSettings& settings, const QByteArray& before)
{
    settings_ = settings;
    lineBytesSeen_ = false;
    state_ = State::Negotiating;
    deadline_.setRemainingTime(kNegotiationTimeout);
    emit changed();
    send(before + telnet::settingsCommands(settings_), Push::Now);
}

void ServerConnection::expire()
{
    if (state_ == State::Connecting)
        return fail({ Failure::Unreachable,
            QStringLiteral("no connection within %1 s").arg(kConnectTimeout.count() / 1000) });
    if (state_ != State::Negotiating)
        return;
    // Line bytes and never a word of Telnet: the port passes the line on as it is.
    if (lineBytesSeen_ && !telnetSeen_)
        return fail({ Failure::Refused,
            QStringLiteral("the server answers with the line's bytes, not with RFC 2217; for a "
                           "raw TCP port, name it tcp:%1:%2")
                .arg(address_.host)
                .arg(address_.port) });
    fail({ Failure::Refused,
        QStringLiteral("the server did not answer the line settings within %1 s")
            .arg(kNegotiationTimeout.count() / 1000) });
}

void ServerConnection::close()
{
    const bool wasClosed = state_ == State::Closed;
    state_ = State::Closed;
    data_.clear();
    socket_.abort();
    if (!wasClosed)
        emit changed();
}

bool ServerConnection::write(const QByteArray& bytes)
{
    if (state_ != State::Open)
        return false;
    send(speaksTelnet() ? telnet::escaped(bytes) : bytes, Push::Now);
    return state_ == State::Open;
}

QByteArray ServerConnection::readAll()
{
    return std::exchange(data_, {});
}

void ServerConnection::send(const QByteArray& bytes, Push push)
{
    if (socket_.bytesToWrite() + bytes.size() > kMostUnsent)
        return fail({ state_ == State::Open ? Failure::Lost : Failure::Refused,
            QStringLiteral("the server does not read what it is sent") });
    socket_.write(bytes);
    if (push == Push::Now)
        socket_.flush();
}

// The opening and the settings go in one segment: a server that turns the client away
// closes at once, and a second segment reaching the closed connection would have it reset,
// which throws away its words before they are read.
void ServerConnection::onConnected()
{
    if (state_ != State::Connecting)
        return;
    // A request is one small write that waits for its answer: nothing to gain by holding it.
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!speaksTelnet())
        return becomeOpen();
    negotiate(settings_, telnet::opening());
}

void ServerConnection::becomeOpen()
{
    state_ = State::Open;
    emit changed();
    if (!data_.isEmpty())
        emit readyRead();
}

void ServerConnection::onReadyRead()
{
    const QByteArray bytes = socket_.readAll();
    if (!speaksTelnet()) {
        telnet::Reader::Taken taken;
        taken.data = bytes;
        return take(taken);
    }
    take(reader_.take(bytes));
}

// The server's words are screened before anything is sent back: a write can find the
// connection closed, and the words must be heard first.
void ServerConnection::take(const telnet::Reader::Taken& taken)
{
    telnetSeen_ = telnetSeen_ || taken.telnetSeen;
    if (!screen(taken.data) || state_ == State::Closed)
        return;
    if (taken.portControlRefused)
        return fail({ Failure::Refused,
            QStringLiteral("the server does not take RFC 2217's port control") });
    for (const telnet::PortAnswer& answer : taken.answers)
        if (answer.command == telnet::kSetBaudRate && state_ == State::Negotiating)
            takeRateAnswer(answer);
        else if (answer.command == telnet::kSetBaudRate && state_ == State::Open)
            takeRateNotice(answer);
    // Not pushed from here: a push finds a closed connection at once, before its last words
    // have been read.
    if (!taken.reply.isEmpty() && state_ != State::Closed)
        send(taken.reply, Push::Later);
    if (state_ == State::Open && !data_.isEmpty())
        emit readyRead();
}

void ServerConnection::takeRateAnswer(const telnet::PortAnswer& answer)
{
    const quint32 rate = rateOf(answer.value);
    if (answer.value.size() != 4 || rate != static_cast<quint32>(settings_.baud))
        return fail({ Failure::Refused,
            QStringLiteral("the server keeps the far line at %1 baud, not %2")
                .arg(rate)
                .arg(settings_.baud) });
    becomeOpen();
}

// A server may say later in the session that its line runs at another rate (another client of
// its console moved it, or it follows the device's own setting): what comes now is garbled or
// nothing, and the line is no longer the one asked for. A notice of the same rate changes
// nothing, nor does a rate of 0, which answers a client's question for the rate.
void ServerConnection::takeRateNotice(const telnet::PortAnswer& answer)
{
    const quint32 rate = rateOf(answer.value);
    if (answer.value.size() != 4 || rate == 0 || rate == static_cast<quint32>(settings_.baud))
        return;
    fail({ Failure::Refused,
        QStringLiteral("the server moved the far line to %1 baud; it was set to %2")
            .arg(rate)
            .arg(settings_.baud) });
}

void ServerConnection::onError(QAbstractSocket::SocketError error)
{
    // A blocking wait that ran out says so as an error; the connection stands.
    if (state_ == State::Closed || error == QAbstractSocket::SocketTimeoutError)
        return;
    // Bytes that came with the close are the server's last words.
    if (socket_.bytesAvailable() > 0)
        onReadyRead();
    if (state_ == State::Closed)
        return;
    if (const auto refused = refusal())
        return fail({ Failure::Busy,
            QStringLiteral("in use by another program (the server says \"%1\")").arg(*refused) });
    fail(socketFault(
        error, socket_.errorString(), state_ == State::Open, address_.host, address_.port));
}

void ServerConnection::fail(const LineFault& fault)
{
    if (state_ == State::Closed)
        return;
    fault_ = fault;
    close();
}

// The connection's first bytes are held back for as long as they may be the server turning
// the client away, so that its words never pass for a reply, however late they come. Bytes
// that come while the settings are on their way are no reply to anything: they are dropped.
bool ServerConnection::screen(const QByteArray& data)
{
    if (!screening_) {
        if (state_ == State::Negotiating) {
            lineBytesSeen_ = lineBytesSeen_ || !data.isEmpty();
            return true;
        }
        data_.append(data.first(std::min(data.size(), kBufferBytes - data_.size())));
        return true;
    }
    first_ += data;
    if (isText(first_) && !first_.contains('\n') && first_.size() < kRefusalLength)
        return true;
    screening_ = false;
    if (const auto refused = refusal()) {
        fail({ Failure::Busy,
            QStringLiteral("in use by another program (the server says \"%1\")").arg(*refused) });
        return false;
    }
    return screen(std::exchange(first_, {}));
}

std::optional<QString> ServerConnection::refusal() const
{
    const qsizetype at = first_.indexOf(kInUse.data());
    if (at < 0)
        return std::nullopt;
    // The line of text around the words, printable characters only.
    const qsizetype start = first_.lastIndexOf('\n', at) + 1;
    qsizetype end = first_.indexOf('\r', at);
    if (end < 0)
        end = first_.indexOf('\n', at);
    if (end < 0)
        end = first_.size();
    QString text;
    for (const char c : first_.sliced(start, end - start))
        if (c >= 0x20 && c < 0x7F)
            text += QLatin1Char(c);
    return text.trimmed();
}

} // namespace line
