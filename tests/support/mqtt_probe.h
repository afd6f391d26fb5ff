#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>

struct mosquitto;
struct mosquitto_message;

// One message as the probe received it. retained is the flag the broker sent: set for a
// message it kept and hands to a new subscription, clear for one passed on as it is published.
struct MqttMessage {
    QString topic;
    QByteArray payload;
    int qos = 0;
    bool retained = false;
};

// An MQTT client for the tests (MQTT 3.1.1, on libmosquitto's own network thread) that
// records every message of its subscriptions. It reconnects by itself when the broker goes,
// and subscribes again, so it keeps watching a broker that a test restarts.
class MqttProbe {
public:
    static constexpr int kWaitMs = 20000;

    MqttProbe();
    ~MqttProbe();
    MqttProbe(const MqttProbe&) = delete;
    MqttProbe& operator=(const MqttProbe&) = delete;

    // Connects and waits for the broker's answer; false (with error() saying why) when the
    // broker is not there, refuses the user or password, or the TLS handshake fails. A CA file
    // connects with TLS, checking the broker's certificate and name against it.
    bool connect(const QString& host, quint16 port, const QString& user, const QString& password,
        const QString& caFile = {}, int timeoutMs = kWaitMs);
    // Sends DISCONNECT and ends the network thread; the probe can connect again.
    void disconnect();
    bool isConnected() const;
    // How many times the broker has accepted the probe since it was made: 2 once it has
    // reconnected after a broker's restart.
    int connections() const;
    QString error() const;

    // Subscribes to a topic filter (with + and #) and waits until the broker grants it.
    bool subscribe(const QString& filter, int qos = 1, int timeoutMs = kWaitMs);
    // Publishes and waits until the broker has it: PUBACK at QoS 1, PUBCOMP at QoS 2, the
    // message written at QoS 0.
    bool publish(const QString& topic, const QByteArray& payload, int qos = 0, bool retain = false,
        int timeoutMs = kWaitMs);

    // Runs the Qt event loop until the predicate holds or the time passes; whether it held.
    // It is checked at once and again whenever any probe receives a message or connects or
    // loses its connection, so it may look at several probes. Meanwhile child processes and
    // timers of the test go on.
    static bool waitFor(const std::function<bool()>& predicate, int timeoutMs = kWaitMs);

    // Every message so far, in the order they came; those on one topic; the last on it.
    QList<MqttMessage> messages() const;
    QList<MqttMessage> messages(const QString& topic) const;
    std::optional<MqttMessage> last(const QString& topic) const;
    // Forgets the messages so far.
    void clear();

private:
    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void onSubscribe(mosquitto*, void* self, int mid, int count, const int* granted);
    static void onPublish(mosquitto*, void* self, int mid);
    void changed();
    void stopClient();

    mosquitto* client_ = nullptr;
    // Lives in the test's thread: the network thread posts to it to wake a waitFor.
    QObject waker_;

    // What the network thread writes, under the lock.
    mutable std::mutex lock_;
    QList<MqttMessage> messages_;
    std::optional<int> connack_; // the broker's answer to the last CONNECT
    bool connected_ = false;
    bool lost_ = false; // the connection went before the broker answered
    int connections_ = 0;
    QString error_;
    std::map<QString, int> subscriptions_; // filter -> QoS, subscribed again at each reconnect
    std::map<int, int> granted_; // message id -> granted QoS, 0x80 for a refusal
    std::set<int> delivered_; // message ids of publications the broker has
};
