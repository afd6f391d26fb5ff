#pragma once

#include "bridge_topics.h"
#include "call_master.h"
#include "commands.h"
#include "mqtt_client.h"

#include "bridge/line_owner.h"

#include <QObject>

#include <memory>
#include <optional>
#include <set>

namespace cli {

// What the bridge needs beyond the call: its broker (none when only its TCP faces serve the
// line), topics and password, checked.
struct BridgePlan {
    std::optional<BrokerAddress> broker;
    QString password;
    Topics topics;
};

// pwm5ctl bridge: one line of modules, owned by a bridge::LineOwner that polls it, on an MQTT
// broker and on whatever faces the caller adds, until SIGTERM, SIGINT or SIGHUP. A command
// that arrives is served in its turn among the faces' requests, before the next poll read.
class Bridge final : public QObject {
    Q_OBJECT

public:
    // Commands that wait beyond this many are refused, not queued.
    static constexpr std::size_t kMostWaiting = 256;
    // A command is refused before it reaches the line while this many results wait for the
    // broker: its own could not be sent either.
    static constexpr std::size_t kMostUnsentResults = 1000;

    Bridge(const Invocation& call, Console& console, BridgePlan plan, const MosquittoApi* api);

    // The line's owner, for the faces to serve.
    bridge::LineOwner& owner() { return owner_; }

    // The exit status: 0 once stopped by a signal, 3 for a broker that refused us or a line
    // that cannot be a line.
    int run();

private:
    struct Command {
        QString level; // of P/LEVEL/set, as given: its result goes to P/LEVEL/result
        std::optional<int> address; // when the level is one
        QString name; // the parameter of P/A/set/NAME; empty for P/A/set
        QByteArray payload;
        QString refusal; // why it is refused at its turn, without the line; empty: served
    };

    void serve(const Command& command);

    // The broker.
    void onConnected();
    void onSubscribed();
    void onLost(const QString& why);
    void onRefused(const QString& why);
    void onMessage(const MqttClient::Message& message);
    void publishAvailability(int address, bool online);
    void publishState(int address);
    void publishResult(QStringView level, const QJsonObject& result);
    void publishResult(QStringView level, const Report& failure);
    void publishDiscovery();
    void stop();
    void finish();

signals:
    // Stopped, or refused: run() returns.
    void finished();

private:
    const Invocation& call_;
    Console& console_;
    BridgePlan plan_;
    CallMaster master_;
    // The port as given: its messages and its devices' names hold for the whole service, over
    // every reopen (a link's target may change).
    QString lineName_;
    bridge::LineOwner owner_;
    std::unique_ptr<MqttClient> mqtt_; // none without a broker
    std::size_t commandsWaiting_ = 0;
    bool stopping_ = false;
    bool finished_ = false;
    QString brokerSaid_; // why the broker is away, as said; empty while it is there
    // The retained command messages answered once already, by topic and payload: the broker
    // hands them out again at every connection.
    std::set<std::pair<QString, std::size_t>> retainedAnswered_;
    std::optional<int> exitStatus_;
};

} // namespace cli
