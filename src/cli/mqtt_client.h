#pragma once

#include "broker_address.h"
#include "mosquitto_api.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>
#include <set>

namespace cli {

// The bridge's connection to its broker, on libmosquitto driven from Qt's event loop: the
// library's socket in two QSocketNotifiers, its housekeeping on a timer, no thread of its own.
// It reconnects by itself, 1 s after a loss, doubling to 30 s. What it has not sent yet is
// bounded: past kMostPending publications a new one is refused, not queued.
class MqttClient final : public QObject {
    Q_OBJECT

public:
    struct Settings {
        BrokerAddress broker;
        QString password; // empty: none
        QString caFile; // TLS: the CA certificates; empty: the system's store
        QString clientId;
        QString willTopic; // "offline" there, retained, when the connection dies
    };
    enum class State { Idle, Connecting, Connected, Waiting, Refused };

    static constexpr int kMostPending = 1000;
    static constexpr std::chrono::seconds kFirstRetry { 1 };
    static constexpr std::chrono::seconds kLastRetry { 30 };

    MqttClient(const MosquittoApi& api, Settings settings, QObject* parent = nullptr);
    ~MqttClient() override;
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    // The first attempt; the later ones follow by themselves.
    void start();
    // Both false while not connected, or past the bound.
    bool publish(const QString& topic, const QByteArray& payload, int qos, bool retain);
    bool subscribe(const QString& filter, int qos);
    // Waits (running the event loop) until what was published has gone and been acknowledged,
    // at most for the bound, then disconnects cleanly: no will.
    void finish(std::chrono::milliseconds bound);

    State state() const { return state_; }
    int pending() const { return static_cast<int>(pending_.size()); }

signals:
    void connected();
    // Every subscription asked for since the connection is granted.
    void subscribed();
    // The connection is gone, or an attempt failed: another follows. why says what happened.
    void lost(const QString& why);
    // The broker will not have this client, its login or its certificate: no attempt follows.
    void refused(const QString& why);
    void message(const QString& topic, const QByteArray& payload);
    // Everything published has gone, and what had to be acknowledged has been.
    void drained();

private:
    static void onConnect(mosquitto* mosq, void* self, int rc);
    static void onDisconnect(mosquitto* mosq, void* self, int rc);
    static void onPublish(mosquitto* mosq, void* self, int mid);
    static void onSubscribe(mosquitto* mosq, void* self, int mid, int count, const int* granted);
    static void onMessage(mosquitto* mosq, void* self, const mosquitto_message* message);

    void configure();
    void attempt(bool first);
    void watchSocket();
    void unwatchSocket();
    void onReadable();
    void onWritable();
    void housekeeping();
    void afterCall(int rc);
    void fail(int rc, const QString& why);
    void updateWriteInterest();
    QString tlsFailure() const;

    const MosquittoApi& api_;
    Settings settings_;
    mosquitto* mosq_ = nullptr;
    State state_ = State::Idle;
    std::unique_ptr<QSocketNotifier> reader_;
    std::unique_ptr<QSocketNotifier> writer_;
    QTimer housekeeping_;
    QTimer retry_;
    std::chrono::seconds nextRetry_ = kFirstRetry;
    std::set<int> pending_; // message ids published and not yet gone or acknowledged
    std::set<int> subscribing_; // subscriptions not yet granted
    bool everConnected_ = false;
};

} // namespace cli
