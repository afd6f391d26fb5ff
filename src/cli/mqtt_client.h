#pragma once

#include "mosquitto_api.h"
#include "mqtt_handle.h"
#include "mqtt_outbox.h"
#include "mqtt_retry.h"
#include "mqtt_session.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>

namespace cli {

struct ConnectHandoff;

// The bridge's connection to its broker, on libmosquitto driven from Qt's event loop: the
// library's socket in two QSocketNotifiers, its housekeeping on a timer. Each attempt has a
// handle of its own, made and connected (the broker's name resolved) on a thread of its own,
// so a slow name server never holds the loop; the library never sends anything again by
// itself: what was not acknowledged stays in the outbox, and goes again on the next connection.
// It reconnects by itself after the wait of nextRetry().
class MqttClient final : public QObject {
    Q_OBJECT

public:
    using Settings = MqttSettings;
    struct Message {
        QString topic;
        QByteArray payload; // empty for one larger than Settings::mostPayload
        qsizetype size = 0;
        bool retained = false;
    };
    enum class State { Idle, Connecting, Connected, Waiting, Refused };

    static constexpr std::chrono::seconds kLastRetry = cli::kLastRetry;
    // A broker that took the TCP connection and has not answered CONNECT by then is not
    // going to.
    static constexpr std::chrono::seconds kMostConnectWait { 10 };

    MqttClient(const MosquittoApi& api, Settings settings, QObject* parent = nullptr);
    ~MqttClient() override;
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    // The first attempt; the later ones follow by themselves. A set-up that libmosquitto
    // refuses (a client id, a CA file) is refused().
    void start();
    // Taken always: it goes once the connection is up and every subscription is granted.
    void publish(const QString& topic, const QByteArray& payload, int qos, bool retain);
    // False while not connected.
    bool subscribe(const QString& filter, int qos);
    // Waits (running the event loop) until what was published has gone and been acknowledged,
    // at most for the bound, then disconnects cleanly: no will. An attempt still resolving
    // the broker's name is left to end by itself.
    void finish(std::chrono::milliseconds bound);

    State state() const { return state_; }
    // Results (publications not retained) the broker does not have yet.
    std::size_t unsentResults() const { return outbox_.unsentResults(); }

signals:
    void connected();
    // Every subscription asked for since the connection is granted, and the will topic is not
    // another bridge's: publications go from now.
    void subscribed();
    // The connection is gone, or an attempt failed: another follows. why says what happened.
    void lost(const QString& why);
    // The broker will not have this client, its login or its certificate, or libmosquitto
    // refuses the settings: no attempt follows.
    void refused(const QString& why);
    void message(const MqttClient::Message& message);
    // Everything published has gone, and what had to be acknowledged has been.
    void drained();

private:
    static void onConnect(mosquitto* mosq, void* self, int rc);
    static void onDisconnect(mosquitto* mosq, void* self, int rc);
    static void onPublish(mosquitto* mosq, void* self, int mid);
    static void onSubscribe(mosquitto* mosq, void* self, int mid, int count, const int* granted);
    static void onMessage(mosquitto* mosq, void* self, const mosquitto_message* message);

    void attempt();
    void attemptStarted(mosquitto* handle, int rc, int error);
    void discardHandle();
    void watchSocket();
    void unwatchSocket();
    void onReadable();
    void onWritable();
    void housekeeping();
    void afterCall(int rc);
    void fail(int rc, const QString& why);
    void leave(const QString& why);
    void checkSession();
    void send();
    void updateWriteInterest();
    QString tlsFailure() const;

    const MosquittoApi& api_;
    Settings settings_;
    mosquitto* mosq_ = nullptr;
    State state_ = State::Idle;
    std::shared_ptr<ConnectHandoff> handoff_;
    std::unique_ptr<QSocketNotifier> reader_;
    std::unique_ptr<QSocketNotifier> writer_;
    QTimer housekeeping_;
    QTimer retry_;
    QTimer answer_; // the broker's CONNACK
    std::chrono::seconds lastWait_ { 0 };
    QElapsedTimer connectedFor_; // since CONNACK
    MqttOutbox outbox_;
    MqttSession session_;
    bool ready_ = false; // subscribed(): publications go
    bool saidOnline_ = false; // the broker has acknowledged "online" on the will topic from us
    bool everConnected_ = false;
};

} // namespace cli
