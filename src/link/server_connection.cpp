#include "server_connection.h"

#include <QLatin1StringView>

#include <algorithm>
#include <utility>

namespace line {

namespace {

// A write that has not left after this long is a failed write.
constexpr int kWriteTimeoutMs = 500;
// ser2net turns a second client away with a line of text and closes; what it says has
// "already in use" in it ("Port already in use", "Port's device already in use").
constexpr QLatin1StringView kInUse("already in use");
constexpr qsizetype kRefusalLength = 80;

QString refusalText(const QString& words)
{
    return QStringLiteral("in use by another program (the server says \"%1\")").arg(words);
}

// Whether the bytes could be a server's words: printable text and line ends. A Modbus frame
// never is, for its second byte, the function code, is below 0x20 or above 0x7E.
bool isText(QByteArrayView bytes)
{
    return std::ranges::all_of(bytes,
        [](char c) { return (c >= 0x20 && c < 0x7F) || c == '\r' || c == '\n' || c == '\t'; });
}

QString lowerFirst(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

bool speaksTelnet(const NetworkAddress& address)
{
    return address.protocol == NetworkAddress::Protocol::Rfc2217;
}

} // namespace

ServerConnection::ServerConnection(QObject* parent)
    : QObject(parent)
    , socket_(this)
    , stageTimer_(this)
{
    stageTimer_.setSingleShot(true);
    connect(&stageTimer_, &QTimer::timeout, this, &ServerConnection::onDeadline);
    connect(&socket_, &QTcpSocket::connected, this, &ServerConnection::onConnected);
    connect(&socket_, &QTcpSocket::readyRead, this, &ServerConnection::onReadyRead);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &ServerConnection::onError);
    connect(&socket_, &QTcpSocket::disconnected, this,
        [this] { onError(QAbstractSocket::RemoteHostClosedError); });
}

ServerConnection::~ServerConnection()
{
    close();
}

void ServerConnection::connectTo(const QString& device, const PortSettings& settings)
{
    close();
    fault_ = Fault::None;
    failure_.clear();
    const ParsedAddress parsed = parseNetworkAddress(device);
    if (!parsed.address)
        return fail(Fault::NotFound, parsed.error);
    address_ = *parsed.address;
    settings_ = settings;
    reader_ = telnet::Reader();
    first_.clear();
    screening_ = true;
    startStage(State::Connecting, kConnectMs);
    socket_.connectToHost(address_.host, address_.port);
}

void ServerConnection::startStage(State state, int ms)
{
    state_ = state;
    stageTimer_.start(ms);
    stageDeadline_.setRemainingTime(ms);
}

bool ServerConnection::waitForOpen()
{
    while (state_ == State::Connecting || state_ == State::Negotiating) {
        const int left = static_cast<int>(stageDeadline_.remainingTime());
        if (left <= 0) {
            onDeadline();
            break;
        }
        // Both emit the socket's signals as they happen, which move the state on.
        if (state_ == State::Connecting)
            socket_.waitForConnected(left);
        else
            socket_.waitForReadyRead(left);
    }
    return state_ == State::Open;
}

void ServerConnection::waitForWords(int ms)
{
    if (state_ == State::Open && data_.isEmpty())
        socket_.waitForReadyRead(ms);
}

void ServerConnection::close()
{
    stageTimer_.stop();
    state_ = State::Closed;
    data_.clear();
    socket_.abort();
}

bool ServerConnection::write(const QByteArray& bytes)
{
    if (state_ != State::Open)
        return false;
    const QByteArray out = speaksTelnet(address_) ? telnet::escaped(bytes) : bytes;
    if (socket_.write(out) != out.size())
        return false;
    socket_.flush();
    while (state_ == State::Open && socket_.bytesToWrite() > 0)
        if (!socket_.waitForBytesWritten(kWriteTimeoutMs))
            return false;
    return state_ == State::Open;
}

QByteArray ServerConnection::readAll()
{
    return std::exchange(data_, {});
}

void ServerConnection::onConnected()
{
    if (state_ != State::Connecting)
        return;
    // A request is one small write that waits for its answer: nothing to gain by holding it.
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!speaksTelnet(address_)) {
        stageTimer_.stop();
        state_ = State::Open;
        emit opened();
        return;
    }
    startStage(State::Negotiating, kNegotiationMs);
    socket_.write(telnet::opening() + telnet::settingsCommands(settings_));
    socket_.flush();
}

void ServerConnection::onReadyRead()
{
    const QByteArray bytes = socket_.readAll();
    telnet::Reader::Taken taken;
    if (speaksTelnet(address_))
        taken = reader_.take(bytes);
    else
        taken.data = bytes;
    if (!taken.reply.isEmpty())
        socket_.write(taken.reply);
    if (!screen(taken.data))
        return;
    if (taken.portControlRefused && state_ != State::Closed) {
        fail(Fault::Other,
            QStringLiteral("the server does not take RFC 2217's port control; "
                           "for a raw TCP port, name it tcp:%1:%2")
                .arg(address_.host)
                .arg(address_.port));
        return;
    }
    for (const telnet::PortAnswer& answer : taken.answers) {
        if (answer.command != telnet::kSetBaudRate || state_ != State::Negotiating
            || answer.value.size() != 4)
            continue;
        const auto byte = [&](int i) {
            return static_cast<quint32>(static_cast<std::uint8_t>(answer.value[i]));
        };
        const quint32 rate = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
        if (rate != static_cast<quint32>(settings_.baud)) {
            fail(Fault::Other,
                QStringLiteral("the server keeps the far line at %1 baud, not %2")
                    .arg(rate)
                    .arg(settings_.baud));
            return;
        }
        stageTimer_.stop();
        state_ = State::Open;
        emit opened();
    }
    if (state_ == State::Open && !data_.isEmpty())
        emit readyRead();
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
        return fail(Fault::InUse, refusalText(*refused));
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        return fail(Fault::NotFound, QStringLiteral("host \"%1\" not found").arg(address_.host));
    case QAbstractSocket::ConnectionRefusedError:
        return fail(Fault::Refused,
            QStringLiteral("connection refused (nothing takes connections on port %1)")
                .arg(address_.port));
    case QAbstractSocket::RemoteHostClosedError:
        return fail(Fault::Other,
            state_ == State::Open ? QStringLiteral("the connection dropped (the server closed it)")
                                  : QStringLiteral("the server closed the connection at once"));
    default:
        return fail(Fault::Other,
            state_ == State::Open ? QStringLiteral("the connection dropped (%1)")
                                        .arg(lowerFirst(socket_.errorString()))
                                  : lowerFirst(socket_.errorString()));
    }
}

void ServerConnection::onDeadline()
{
    if (state_ == State::Connecting)
        fail(Fault::Other, QStringLiteral("no connection within %1 s").arg(kConnectMs / 1000));
    else if (state_ == State::Negotiating)
        fail(Fault::Other,
            QStringLiteral("the server did not answer the line settings within %1 s; for a raw "
                           "TCP port, name it tcp:%2:%3")
                .arg(kNegotiationMs / 1000)
                .arg(address_.host)
                .arg(address_.port));
}

void ServerConnection::fail(Fault fault, const QString& why)
{
    stageTimer_.stop();
    state_ = State::Closed;
    fault_ = fault;
    failure_ = why;
    socket_.abort();
    emit closed();
}

// The connection's first bytes are held back for as long as they may be the server turning
// the client away, so that its words never pass for a reply, however late they come.
bool ServerConnection::screen(const QByteArray& data)
{
    if (!screening_) {
        data_ += data;
        return true;
    }
    first_ += data;
    if (isText(first_) && !first_.contains('\n') && first_.size() < kRefusalLength)
        return true;
    screening_ = false;
    if (const auto refused = refusal()) {
        fail(Fault::InUse, refusalText(*refused));
        return false;
    }
    data_ += std::exchange(first_, {});
    return true;
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
