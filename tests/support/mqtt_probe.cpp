#include "mqtt_probe.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

#include <mosquitto.h>

#include <algorithm>
#include <utility>

namespace {

constexpr int kKeepAliveS = 60;
// After a lost connection the network thread tries again after 1 s, then every 2 s: soon
// enough for a test that restarts the broker.
constexpr unsigned kReconnectDelayS = 1;
constexpr unsigned kReconnectDelayMaxS = 2;
constexpr int kRefused = 0x80; // SUBACK's return code for a refused filter

// The waitFor that runs, and how many times a probe woke it; the test's thread alone reads
// and writes them. A wake that comes while the predicate runs (it may run events itself) is
// seen in the count, so the loop is not entered to wait for it.
QEventLoop* waiting = nullptr;
quint64 wakes = 0;

std::once_flag libraryReady;

} // namespace

MqttProbe::MqttProbe()
{
    std::call_once(libraryReady, [] { mosquitto_lib_init(); });
}

MqttProbe::~MqttProbe()
{
    stopClient();
}

bool MqttProbe::connect(const QString& host, quint16 port, const QString& user,
    const QString& password, const QString& caFile, int timeoutMs)
{
    stopClient();
    {
        const std::lock_guard guard(lock_);
        connack_.reset();
        lost_ = false;
        error_.clear();
    }
    const auto fail = [this](const QString& why) {
        stopClient();
        const std::lock_guard guard(lock_);
        error_ = why;
        return false;
    };
    client_ = mosquitto_new(nullptr, true, this);
    if (!client_)
        return fail(QStringLiteral("mosquitto_new failed"));
    mosquitto_connect_callback_set(client_, onConnect);
    mosquitto_disconnect_callback_set(client_, onDisconnect);
    mosquitto_message_callback_set(client_, onMessage);
    mosquitto_subscribe_callback_set(client_, onSubscribe);
    mosquitto_publish_callback_set(client_, onPublish);
    mosquitto_reconnect_delay_set(client_, kReconnectDelayS, kReconnectDelayMaxS, false);
    int rc = MOSQ_ERR_SUCCESS;
    if (!user.isEmpty())
        rc = mosquitto_username_pw_set(
            client_, user.toUtf8().constData(), password.toUtf8().constData());
    if (rc == MOSQ_ERR_SUCCESS && !caFile.isEmpty())
        rc = mosquitto_tls_set(
            client_, caFile.toLocal8Bit().constData(), nullptr, nullptr, nullptr, nullptr);
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_connect(client_, host.toUtf8().constData(), port, kKeepAliveS);
    // The TLS handshake and CONNACK are awaited here, on the socket: on the network thread a
    // failed handshake ends the thread without a callback, and a refusal would be retried.
    const QDeadlineTimer deadline(timeoutMs);
    const auto answered = [this] {
        const std::lock_guard guard(lock_);
        return connack_.has_value() || lost_;
    };
    while (rc == MOSQ_ERR_SUCCESS && !answered() && !deadline.hasExpired())
        rc = mosquitto_loop(client_, std::max(1, static_cast<int>(deadline.remainingTime())), 1);
    std::optional<int> connack;
    {
        const std::lock_guard guard(lock_);
        connack = connack_;
    }
    if (connack == 0) {
        rc = mosquitto_loop_start(client_);
        if (rc == MOSQ_ERR_SUCCESS)
            return true;
    }
    if (connack && *connack != 0)
        return fail(QString::fromUtf8(mosquitto_connack_string(*connack)));
    if (rc != MOSQ_ERR_SUCCESS)
        return fail(QString::fromUtf8(mosquitto_strerror(rc)));
    return fail(answered() ? QStringLiteral("the broker closed the connection without an answer")
                           : QStringLiteral("no answer from the broker in %1 ms").arg(timeoutMs));
}

void MqttProbe::disconnect()
{
    stopClient();
}

// Ends the network thread: DISCONNECT makes it leave its loop rather than reconnect.
void MqttProbe::stopClient()
{
    if (!client_)
        return;
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, false);
    mosquitto_destroy(client_);
    client_ = nullptr;
    const std::lock_guard guard(lock_);
    connected_ = false;
}

bool MqttProbe::isConnected() const
{
    const std::lock_guard guard(lock_);
    return connected_;
}

int MqttProbe::connections() const
{
    const std::lock_guard guard(lock_);
    return connections_;
}

QString MqttProbe::error() const
{
    const std::lock_guard guard(lock_);
    return error_;
}

bool MqttProbe::subscribe(const QString& filter, int qos, int timeoutMs)
{
    if (!client_) {
        const std::lock_guard guard(lock_);
        error_ = QStringLiteral("subscribe before connect");
        return false;
    }
    {
        const std::lock_guard guard(lock_);
        subscriptions_[filter] = qos;
    }
    int mid = 0;
    const int rc = mosquitto_subscribe(client_, &mid, filter.toUtf8().constData(), qos);
    const auto acknowledged = [this, &mid] {
        const std::lock_guard guard(lock_);
        return granted_.count(mid) > 0;
    };
    const bool answered = rc == MOSQ_ERR_SUCCESS && waitFor(acknowledged, timeoutMs);
    const std::lock_guard guard(lock_);
    const auto grant = granted_.find(mid);
    const int granted = grant != granted_.end() ? grant->second : kRefused;
    if (grant != granted_.end())
        granted_.erase(grant);
    if (answered && granted != kRefused)
        return true;
    subscriptions_.erase(filter);
    error_ = rc != MOSQ_ERR_SUCCESS ? QString::fromUtf8(mosquitto_strerror(rc))
        : answered                  ? QStringLiteral("the broker refused the filter ") + filter
                                    : QStringLiteral("no SUBACK in %1 ms").arg(timeoutMs);
    return false;
}

bool MqttProbe::publish(
    const QString& topic, const QByteArray& payload, int qos, bool retain, int timeoutMs)
{
    if (!client_) {
        const std::lock_guard guard(lock_);
        error_ = QStringLiteral("publish before connect");
        return false;
    }
    int mid = 0;
    const int rc = mosquitto_publish(client_, &mid, topic.toUtf8().constData(),
        static_cast<int>(payload.size()), payload.constData(), qos, retain);
    const auto delivered = [this, &mid] {
        const std::lock_guard guard(lock_);
        return delivered_.count(mid) > 0;
    };
    const bool done = rc == MOSQ_ERR_SUCCESS && waitFor(delivered, timeoutMs);
    const std::lock_guard guard(lock_);
    delivered_.erase(mid);
    if (done)
        return true;
    error_ = rc != MOSQ_ERR_SUCCESS
        ? QString::fromUtf8(mosquitto_strerror(rc))
        : QStringLiteral("the broker did not take the message in %1 ms").arg(timeoutMs);
    return false;
}

bool MqttProbe::waitFor(const std::function<bool()>& predicate, int timeoutMs)
{
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    QEventLoop* const outer = std::exchange(waiting, &loop);
    bool held = false;
    quint64 seen = wakes;
    while (!(held = predicate()) && deadline.isActive()) {
        if (seen == wakes)
            loop.exec();
        seen = wakes;
    }
    waiting = outer;
    return held;
}

// Called on the network thread; the wake runs on the test's.
void MqttProbe::changed()
{
    QMetaObject::invokeMethod(
        &waker_,
        [] {
            ++wakes;
            if (waiting)
                waiting->quit();
        },
        Qt::QueuedConnection);
}

QList<MqttMessage> MqttProbe::messages() const
{
    const std::lock_guard guard(lock_);
    return messages_;
}

QList<MqttMessage> MqttProbe::messages(const QString& topic) const
{
    const std::lock_guard guard(lock_);
    QList<MqttMessage> on;
    for (const MqttMessage& message : messages_) {
        if (message.topic == topic)
            on.append(message);
    }
    return on;
}

std::optional<MqttMessage> MqttProbe::last(const QString& topic) const
{
    const std::lock_guard guard(lock_);
    for (auto message = messages_.crbegin(); message != messages_.crend(); ++message) {
        if (message->topic == topic)
            return *message;
    }
    return std::nullopt;
}

void MqttProbe::clear()
{
    const std::lock_guard guard(lock_);
    messages_.clear();
}

void MqttProbe::onConnect(mosquitto* client, void* self, int rc)
{
    auto* probe = static_cast<MqttProbe*>(self);
    std::map<QString, int> again;
    {
        const std::lock_guard guard(probe->lock_);
        probe->connack_ = rc;
        if (rc == 0) {
            probe->connected_ = true;
            ++probe->connections_;
            again = probe->subscriptions_;
        }
    }
    // A clean session starts with no subscription: those of the last one are made again.
    for (const auto& [filter, qos] : again)
        mosquitto_subscribe(client, nullptr, filter.toUtf8().constData(), qos);
    probe->changed();
}

void MqttProbe::onDisconnect(mosquitto*, void* self, int)
{
    auto* probe = static_cast<MqttProbe*>(self);
    {
        const std::lock_guard guard(probe->lock_);
        probe->connected_ = false;
        if (!probe->connack_)
            probe->lost_ = true;
    }
    probe->changed();
}

void MqttProbe::onMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* probe = static_cast<MqttProbe*>(self);
    MqttMessage received { QString::fromUtf8(message->topic),
        QByteArray(static_cast<const char*>(message->payload), message->payloadlen), message->qos,
        message->retain };
    {
        const std::lock_guard guard(probe->lock_);
        probe->messages_.append(std::move(received));
    }
    probe->changed();
}

void MqttProbe::onSubscribe(mosquitto*, void* self, int mid, int count, const int* granted)
{
    auto* probe = static_cast<MqttProbe*>(self);
    {
        const std::lock_guard guard(probe->lock_);
        probe->granted_[mid] = count > 0 ? granted[0] : kRefused;
    }
    probe->changed();
}

void MqttProbe::onPublish(mosquitto*, void* self, int mid)
{
    auto* probe = static_cast<MqttProbe*>(self);
    {
        const std::lock_guard guard(probe->lock_);
        probe->delivered_.insert(mid);
    }
    probe->changed();
}
