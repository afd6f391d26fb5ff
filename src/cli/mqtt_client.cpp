#include "mqtt_client.h"

#include "device/parameter_value.h"
#include "text/quoted_text.h"

#include <QEventLoop>

#include <cerrno>
#include <mutex>
#include <span>
#include <thread>
#include <utility>

#ifdef __linux__
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace cli {

// The attempt's thread hands its handle back through this; once the client is gone (or has
// finished), client is null and the thread destroys the handle itself.
struct ConnectHandoff {
    std::mutex lock;
    MqttClient* client = nullptr;
};

namespace {

// Keep-alive of the connection, and how often the library's housekeeping runs: pings, and
// the checks that find a connection that died without a word.
constexpr int kKeepAliveSeconds = 30;
constexpr std::chrono::seconds kHousekeeping { 1 };
constexpr char kOnline[] = "online";

MqttClient* clientOf(void* self)
{
    return static_cast<MqttClient*>(self);
}

std::shared_ptr<ConnectHandoff> handoffTo(MqttClient* client)
{
    auto handoff = std::make_shared<ConnectHandoff>();
    handoff->client = client;
    return handoff;
}

void abandon(ConnectHandoff& handoff)
{
    const std::lock_guard guard(handoff.lock);
    handoff.client = nullptr;
}

// The peer's packets are acknowledged at once, not up to 40 ms later: a broker that keeps
// Nagle's algorithm holds its next small packet (a command) until the last one is acknowledged.
void acknowledgeAtOnce([[maybe_unused]] int fd)
{
#ifdef __linux__
    const int on = 1;
    if (fd >= 0)
        ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#endif
}

} // namespace

MqttClient::MqttClient(const MosquittoApi& api, Settings settings, QObject* parent)
    : QObject(parent)
    , api_(api)
    , settings_(std::move(settings))
    , handoff_(handoffTo(this))
{
    housekeeping_.setInterval(kHousekeeping);
    connect(&housekeeping_, &QTimer::timeout, this, &MqttClient::housekeeping);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &MqttClient::attempt);
    answer_.setSingleShot(true);
    connect(&answer_, &QTimer::timeout, this, [this] {
        fail(MOSQ_ERR_SUCCESS,
            QStringLiteral("the broker did not answer the connection within %1 s")
                .arg(kMostConnectWait.count()));
    });
}

MqttClient::~MqttClient()
{
    abandon(*handoff_);
    reader_.reset();
    writer_.reset();
    discardHandle();
}

void MqttClient::start()
{
    housekeeping_.start();
    attempt();
}

// A fresh handle for each attempt, connected on a thread of its own: the broker's name is
// resolved there (getaddrinfo blocks, for as long as a name server keeps silent).
void MqttClient::attempt()
{
    discardHandle();
    session_ = {};
    ready_ = false;
    const MqttHandle made
        = newMqttHandle(api_, settings_, this, static_cast<int>(MqttOutbox::kMostInFlight));
    if (!made.handle) {
        state_ = State::Refused;
        emit refused(made.refusal);
        return;
    }
    mosquitto* handle = made.handle;
    api_.connect_callback_set(handle, &MqttClient::onConnect);
    api_.disconnect_callback_set(handle, &MqttClient::onDisconnect);
    api_.publish_callback_set(handle, &MqttClient::onPublish);
    api_.subscribe_callback_set(handle, &MqttClient::onSubscribe);
    api_.message_callback_set(handle, &MqttClient::onMessage);
    state_ = State::Connecting;
    std::thread([api = &api_, handoff = handoff_, handle, host = settings_.broker.host.toUtf8(),
                    port = settings_.broker.port] {
        errno = 0;
        const int rc = api->connect_async(handle, host.constData(), port, kKeepAliveSeconds);
        const int error = errno;
        const std::lock_guard guard(handoff->lock);
        MqttClient* client = handoff->client;
        if (!client) {
            api->destroy(handle);
            return;
        }
        QMetaObject::invokeMethod(
            client, [client, handle, rc, error] { client->attemptStarted(handle, rc, error); },
            Qt::QueuedConnection);
    }).detach();
}

void MqttClient::attemptStarted(mosquitto* handle, int rc, int error)
{
    if (state_ != State::Connecting) {
        api_.destroy(handle);
        return;
    }
    mosq_ = handle;
    if (rc != MOSQ_ERR_SUCCESS)
        return fail(rc, mosquittoFailure(api_, settings_, rc, error));
    answer_.start(kMostConnectWait);
    watchSocket();
    updateWriteInterest();
}

void MqttClient::discardHandle()
{
    if (!mosq_)
        return;
    api_.destroy(mosq_);
    mosq_ = nullptr;
}

void MqttClient::watchSocket()
{
    const int fd = api_.socket(mosq_);
    if (fd < 0)
        return;
    unwatchSocket();
    reader_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    writer_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(reader_.get(), &QSocketNotifier::activated, this, &MqttClient::onReadable);
    connect(writer_.get(), &QSocketNotifier::activated, this, &MqttClient::onWritable);
}

// Called from the notifiers' own signals too: they go once control has left them.
void MqttClient::unwatchSocket()
{
    for (std::unique_ptr<QSocketNotifier>* notifier : { &reader_, &writer_ })
        if (*notifier) {
            (*notifier)->setEnabled(false);
            notifier->release()->deleteLater();
        }
}

void MqttClient::onReadable()
{
    errno = 0;
    const int rc = api_.loop_read(mosq_, 1);
    if (state_ == State::Connecting || state_ == State::Connected)
        acknowledgeAtOnce(api_.socket(mosq_));
    afterCall(rc);
}

void MqttClient::onWritable()
{
    errno = 0;
    afterCall(api_.loop_write(mosq_, 1));
}

void MqttClient::housekeeping()
{
    if (!mosq_ || (state_ != State::Connecting && state_ != State::Connected))
        return;
    errno = 0;
    afterCall(api_.loop_misc(mosq_));
}

void MqttClient::afterCall(int rc)
{
    if (rc != MOSQ_ERR_SUCCESS && (state_ == State::Connecting || state_ == State::Connected))
        return fail(rc, mosquittoFailure(api_, settings_, rc, errno));
    updateWriteInterest();
}

void MqttClient::updateWriteInterest()
{
    if (writer_ && mosq_)
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

// An attempt or a connection that failed: what was out goes back to the outbox, the next
// attempt is timed, and the owner says it. A TLS failure before the broker ever took this
// client is its certificate, for good. The handle goes at the next attempt: this may run
// inside one of its callbacks.
void MqttClient::fail(int rc, const QString& why)
{
    if (state_ != State::Connecting && state_ != State::Connected)
        return;
    unwatchSocket();
    answer_.stop();
    ready_ = false;
    outbox_.connectionLost();
    if (rc == MOSQ_ERR_TLS && !everConnected_) {
        state_ = State::Refused;
        emit refused(tlsFailure());
        return;
    }
    state_ = State::Waiting;
    std::optional<std::chrono::milliseconds> lasted;
    if (connectedFor_.isValid())
        lasted = std::chrono::milliseconds(connectedFor_.elapsed());
    connectedFor_.invalidate();
    lastWait_ = nextRetry(lastWait_, lasted);
    retry_.start(lastWait_);
    emit lost(why);
}

// Leaves a connection the broker took, cleanly (no will: it would say offline for another
// bridge), once the library's callback that found why is over.
void MqttClient::leave(const QString& why)
{
    QMetaObject::invokeMethod(
        this,
        [this, why, handle = mosq_] {
            if (state_ != State::Connected || mosq_ != handle)
                return;
            api_.disconnect(mosq_);
            api_.loop_write(mosq_, 1);
            fail(MOSQ_ERR_SUCCESS, why);
        },
        Qt::QueuedConnection);
}

void MqttClient::checkSession()
{
    if (ready_)
        return;
    switch (session_.verdict(saidOnline_)) {
    case MqttSession::Verdict::Waiting:
        return;
    case MqttSession::Verdict::Refused:
        return leave(QStringLiteral("the broker refused the subscription to %1")
                         .arg(quoting::escapedControls(session_.filter())));
    case MqttSession::Verdict::HeldElsewhere:
        return leave(QStringLiteral("another bridge holds the topic prefix (%1 is online)")
                         .arg(quoting::escapedControls(settings_.willTopic)));
    case MqttSession::Verdict::Ready:
        break;
    }
    ready_ = true;
    emit subscribed();
    send();
}

// Hands what waits to the library, as far as the outbox lets.
void MqttClient::send()
{
    while (ready_ && state_ == State::Connected) {
        const Publication* next = outbox_.next();
        if (!next)
            break;
        const QByteArray topic = next->topic.toUtf8();
        int mid = 0;
        errno = 0;
        const int rc
            = api_.publish(mosq_, &mid, topic.constData(), static_cast<int>(next->payload.size()),
                next->payload.constData(), next->qos, next->retain);
        if (rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_NOMEM || rc == MOSQ_ERR_ERRNO)
            return fail(rc, mosquittoFailure(api_, settings_, rc, errno));
        outbox_.handed(mid);
        if (rc != MOSQ_ERR_SUCCESS) {
            // A topic or payload the library refuses would be refused at every attempt.
            qWarning("pwm5ctl: libmosquitto refuses a publication on %s (%s)", topic.constData(),
                qPrintable(mosquittoFailure(api_, settings_, rc, errno)));
            outbox_.acknowledged(mid);
        }
    }
    updateWriteInterest();
}

void MqttClient::publish(const QString& topic, const QByteArray& payload, int qos, bool retain)
{
    outbox_.add({ topic, payload, qos, retain });
    send();
}

bool MqttClient::subscribe(const QString& filter, int qos)
{
    if (state_ != State::Connected)
        return false;
    const QByteArray name = filter.toUtf8();
    int mid = 0;
    errno = 0;
    const int rc = api_.subscribe(mosq_, &mid, name.constData(), qos);
    if (rc == MOSQ_ERR_SUCCESS)
        session_.asked(mid, filter);
    afterCall(rc);
    return rc == MOSQ_ERR_SUCCESS;
}

void MqttClient::finish(std::chrono::milliseconds bound)
{
    retry_.stop();
    answer_.stop();
    abandon(*handoff_);
    if (state_ == State::Connected && ready_ && !outbox_.empty()) {
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
    client.answer_.stop();
    if (rc == 0) {
        client.state_ = State::Connected;
        client.everConnected_ = true;
        client.connectedFor_.start();
        // The will topic first: its retained message comes before the later SUBACKs.
        if (client.subscribe(client.settings_.willTopic, 0))
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
        client.fail(rc, mosquittoFailure(client.api_, client.settings_, rc, errno));
}

void MqttClient::onPublish(mosquitto*, void* self, int mid)
{
    MqttClient& client = *clientOf(self);
    const auto done = client.outbox_.acknowledged(mid);
    if (done && done->retain && done->topic == client.settings_.willTopic)
        client.saidOnline_ = done->payload == kOnline || client.saidOnline_;
    client.send();
    if (client.outbox_.empty())
        emit client.drained();
}

void MqttClient::onSubscribe(mosquitto*, void* self, int mid, int count, const int* granted)
{
    MqttClient& client = *clientOf(self);
    client.session_.answered(
        mid, std::span<const int>(granted, granted ? static_cast<std::size_t>(count) : 0U));
    client.checkSession();
}

void MqttClient::onMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    MqttClient& client = *clientOf(self);
    const QString topic = QString::fromUtf8(message->topic);
    const qsizetype size = message->payloadlen;
    const auto* bytes = static_cast<const char*>(message->payload);
    if (topic == client.settings_.willTopic) {
        client.session_.willMessage(QByteArrayView(bytes, size), message->retain);
        return;
    }
    const bool kept = size <= client.settings_.mostPayload;
    emit client.message(
        { topic, kept ? QByteArray(bytes, size) : QByteArray(), size, message->retain });
}

} // namespace cli
