#include "mqtt_client.h"

#include <QEventLoop>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace cli {

namespace {

// Keep-alive of the connection, and how often the library's housekeeping runs: pings, and
// the checks that find a connection that died without a word.
constexpr int kKeepAliveSeconds = 30;
constexpr std::chrono::seconds kHousekeeping { 1 };

MqttClient* clientOf(void* self)
{
    return static_cast<MqttClient*>(self);
}

} // namespace

MqttClient::MqttClient(const MosquittoApi& api, Settings settings, QObject* parent)
    : QObject(parent)
    , api_(api)
    , settings_(std::move(settings))
{
    housekeeping_.setInterval(kHousekeeping);
    connect(&housekeeping_, &QTimer::timeout, this, &MqttClient::housekeeping);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, [this] { attempt(false); });
    configure();
}

MqttClient::~MqttClient()
{
    unwatchSocket();
    if (mosq_)
        api_.destroy(mosq_);
}

void MqttClient::configure()
{
    const QByteArray id = settings_.clientId.toUtf8();
    mosq_ = api_.create(id.constData(), true, this);
    api_.int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // A result is one small packet that someone waits for: Nagle's algorithm would hold it
    // until the broker acknowledged the packet before, tens of milliseconds.
    api_.int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
    if (!settings_.broker.user.isEmpty()) {
        const QByteArray user = settings_.broker.user.toUtf8();
        const QByteArray password = settings_.password.toUtf8();
        api_.username_pw_set(
            mosq_, user.constData(), settings_.password.isEmpty() ? nullptr : password.constData());
    }
    if (settings_.broker.tls) {
        if (settings_.caFile.isEmpty()) {
            api_.int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        } else {
            const QByteArray ca = settings_.caFile.toLocal8Bit();
            api_.tls_set(mosq_, ca.constData(), nullptr, nullptr, nullptr, nullptr);
        }
    }
    const QByteArray will = settings_.willTopic.toUtf8();
    api_.will_set(mosq_, will.constData(), 7, "offline", 1, true);
    api_.connect_callback_set(mosq_, &MqttClient::onConnect);
    api_.disconnect_callback_set(mosq_, &MqttClient::onDisconnect);
    api_.publish_callback_set(mosq_, &MqttClient::onPublish);
    api_.subscribe_callback_set(mosq_, &MqttClient::onSubscribe);
    api_.message_callback_set(mosq_, &MqttClient::onMessage);
}

void MqttClient::start()
{
    housekeeping_.start();
    attempt(true);
}

void MqttClient::attempt(bool first)
{
    state_ = State::Connecting;
    pending_.clear();
    subscribing_.clear();
    const QByteArray host = settings_.broker.host.toUtf8();
    errno = 0;
    const int rc = first
        ? api_.connect_async(mosq_, host.constData(), settings_.broker.port, kKeepAliveSeconds)
        : api_.reconnect_async(mosq_);
    if (rc != MOSQ_ERR_SUCCESS)
        return fail(rc, QString());
    watchSocket();
    updateWriteInterest();
}

// The library makes a new socket for each connection.
void MqttClient::watchSocket()
{
    const int fd = api_.socket(mosq_);
    if (fd < 0 || (reader_ && reader_->socket() == fd))
        return;
    unwatchSocket();
    reader_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    writer_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(reader_.get(), &QSocketNotifier::activated, this, &MqttClient::onReadable);
    connect(writer_.get(), &QSocketNotifier::activated, this, &MqttClient::onWritable);
}

void MqttClient::unwatchSocket()
{
    reader_.reset();
    writer_.reset();
}

void MqttClient::onReadable()
{
    errno = 0;
    afterCall(api_.loop_read(mosq_, 1));
}

void MqttClient::onWritable()
{
    errno = 0;
    afterCall(api_.loop_write(mosq_, 1));
}

void MqttClient::housekeeping()
{
    if (state_ != State::Connecting && state_ != State::Connected)
        return;
    errno = 0;
    afterCall(api_.loop_misc(mosq_));
}

void MqttClient::afterCall(int rc)
{
    if (rc != MOSQ_ERR_SUCCESS && (state_ == State::Connecting || state_ == State::Connected))
        return fail(rc, QString());
    watchSocket();
    updateWriteInterest();
}

void MqttClient::updateWriteInterest()
{
    if (writer_)
        writer_->setEnabled(api_.want_write(mosq_));
}

QString MqttClient::tlsFailure() const
{
    return QStringLiteral("TLS with the broker failed: its certificate does not verify against "
                          "%1, or it does not speak TLS on port %2")
        .arg(settings_.caFile.isEmpty() ? QStringLiteral("the system's certificates")
                                        : settings_.caFile)
        .arg(settings_.broker.port);
}

// An attempt or a connection that failed: the next attempt is timed, and said once by the
// owner. A TLS failure before the broker ever took this client is its certificate, for good.
void MqttClient::fail(int rc, const QString& why)
{
    if (state_ == State::Waiting || state_ == State::Refused || state_ == State::Idle)
        return;
    unwatchSocket();
    if (rc == MOSQ_ERR_TLS && !everConnected_) {
        state_ = State::Refused;
        emit refused(tlsFailure());
        return;
    }
    state_ = State::Waiting;
    QString said = why;
    if (said.isEmpty())
        said = rc == MOSQ_ERR_ERRNO && errno != 0
            ? QString::fromLocal8Bit(std::strerror(errno)).toLower()
            : QString::fromUtf8(api_.strerror(rc)).toLower();
    if (said.endsWith(u'.'))
        said.chop(1);
    retry_.start(nextRetry_);
    nextRetry_ = std::min(nextRetry_ * 2, kLastRetry);
    emit lost(said);
}

bool MqttClient::publish(const QString& topic, const QByteArray& payload, int qos, bool retain)
{
    if (state_ != State::Connected || pending() >= kMostPending)
        return false;
    const QByteArray name = topic.toUtf8();
    int mid = 0;
    const int rc = api_.publish(mosq_, &mid, name.constData(), static_cast<int>(payload.size()),
        payload.constData(), qos, retain);
    if (rc == MOSQ_ERR_SUCCESS)
        pending_.insert(mid);
    afterCall(rc);
    return rc == MOSQ_ERR_SUCCESS;
}

bool MqttClient::subscribe(const QString& filter, int qos)
{
    if (state_ != State::Connected)
        return false;
    const QByteArray name = filter.toUtf8();
    int mid = 0;
    const int rc = api_.subscribe(mosq_, &mid, name.constData(), qos);
    if (rc == MOSQ_ERR_SUCCESS)
        subscribing_.insert(mid);
    afterCall(rc);
    return rc == MOSQ_ERR_SUCCESS;
}

void MqttClient::finish(std::chrono::milliseconds bound)
{
    retry_.stop();
    if (state_ == State::Connected && !pending_.empty()) {
        QEventLoop loop;
        QTimer timeout;
        timeout.setSingleShot(true);
        connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(this, &MqttClient::drained, &loop, &QEventLoop::quit);
        connect(this, &MqttClient::lost, &loop, &QEventLoop::quit);
        timeout.start(bound);
        loop.exec();
    }
    if (state_ == State::Connected) {
        state_ = State::Idle;
        api_.disconnect(mosq_);
        api_.loop_write(mosq_, 1);
    }
    state_ = State::Idle;
    housekeeping_.stop();
    unwatchSocket();
}

void MqttClient::onConnect(mosquitto*, void* self, int rc)
{
    MqttClient& client = *clientOf(self);
    if (rc == 0) {
        client.state_ = State::Connected;
        client.everConnected_ = true;
        client.nextRetry_ = kFirstRetry;
        emit client.connected();
        return;
    }
    // 4: a bad user name or password; 5: not authorised.
    if (rc == 4 || rc == 5) {
        client.state_ = State::Refused;
        client.unwatchSocket();
        emit client.refused(QStringLiteral("the broker refused the login (%1)")
                                .arg(QString::fromUtf8(client.api_.connack_string(rc))));
        return;
    }
    client.fail(MOSQ_ERR_CONN_REFUSED,
        QStringLiteral("the broker refused the connection (%1)")
            .arg(QString::fromUtf8(client.api_.connack_string(rc))));
}

void MqttClient::onDisconnect(mosquitto*, void* self, int rc)
{
    MqttClient& client = *clientOf(self);
    if (rc != 0)
        client.fail(rc, QString());
}

void MqttClient::onPublish(mosquitto*, void* self, int mid)
{
    MqttClient& client = *clientOf(self);
    if (client.pending_.erase(mid) > 0 && client.pending_.empty())
        emit client.drained();
}

void MqttClient::onSubscribe(mosquitto*, void* self, int mid, int, const int*)
{
    MqttClient& client = *clientOf(self);
    if (client.subscribing_.erase(mid) > 0 && client.subscribing_.empty())
        emit client.subscribed();
}

void MqttClient::onMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    emit clientOf(self)->message(QString::fromUtf8(message->topic),
        QByteArray(static_cast<const char*>(message->payload), message->payloadlen));
}

} // namespace cli
