#pragma once

#include "bridge/poll_schedule.h"
#include "bridge_topics.h"
#include "call_master.h"
#include "commands.h"
#include "mqtt_client.h"

#include "device/reply_decoder.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>
#include <optional>
#include <set>
#include <vector>

namespace cli {

using bridge::PollSchedule;

// What the bridge needs beyond the call: its broker, topics and password, checked.
struct BridgePlan {
    BrokerAddress broker;
    QString password;
    Topics topics;
};

// pwm5ctl bridge: one line of modules on an MQTT broker, until SIGTERM or SIGINT. Each round
// reads the modules that PollSchedule names, in list order; a command that arrives is served
// before the next read; a port that goes away is opened again every 2 s.
class Bridge final : public QObject {
    Q_OBJECT

public:
    // A lost port is tried this often.
    static constexpr std::chrono::seconds kReopen { 2 };
    // Commands that wait beyond this many are refused, not queued.
    static constexpr std::size_t kMostWaiting = 256;
    // A command is refused before it reaches the line while this many results wait for the
    // broker: its own could not be sent either.
    static constexpr std::size_t kMostUnsentResults = 1000;

    Bridge(const Invocation& call, Console& console, BridgePlan plan, const MosquittoApi& api);

    // The exit status: 0 once stopped by a signal, 3 for a broker that refused us or a line
    // that cannot be a line.
    int run();

private:
    struct Module {
        int address;
        std::optional<device::Reading> last; // the last good reading
        bool online = false; // as published
    };
    struct Command {
        QString level; // of P/LEVEL/set, as given: its result goes to P/LEVEL/result
        std::optional<int> address; // when the level is one
        QString name; // the parameter of P/A/set/NAME; empty for P/A/set
        QByteArray payload;
        QString refusal; // why it is refused at its turn, without the line; empty: served
    };

    // The line.
    bool openLine();
    void lineLost(const QString& why);
    QString lossText(const Answer& answer) const;
    void schedule();
    void pump();
    bool pumpOnce();
    void startRound();
    PollSchedule::Instant now() const;
    void read(Module& m);
    void serve(const Command& command);
    Module* moduleAt(int address);

    // The broker.
    void onConnected();
    void onSubscribed();
    void onLost(const QString& why);
    void onRefused(const QString& why);
    void onMessage(const MqttClient::Message& message);
    void publishAvailability(Module& m, bool online);
    void publishState(Module& m);
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
    MqttClient mqtt_;
    // The port as given: its messages and its devices' names hold for the whole service, over
    // every reopen (a link's target may change).
    QString lineName_;
    std::vector<Module> modules_;
    std::deque<Command> commands_;
    PollSchedule schedule_;
    std::deque<int> round_; // the addresses to read in the round in progress, in order
    QElapsedTimer clock_;
    QElapsedTimer sinceRound_;
    QTimer wake_; // the next round, or the next try of a lost port
    bool lineUp_ = false;
    bool lineSaid_ = false; // the line's loss has been said, and not its return
    bool busy_ = false;
    bool stopping_ = false;
    bool finished_ = false;
    QString brokerSaid_; // why the broker is away, as said; empty while it is there
    // The retained command messages answered once already, by topic and payload: the broker
    // hands them out again at every connection.
    std::set<std::pair<QString, std::size_t>> retainedAnswered_;
    std::optional<int> exitStatus_;
};

} // namespace cli
