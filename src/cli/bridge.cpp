#include "bridge.h"

#include "bridge_discovery.h"
#include "bridge_request.h"
#include "modules.h"
#include "profile_write.h"
#include "reading_output.h"
#include "stop_signals.h"

#include "device/parameter_value.h"
#include "device/requests.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>

#include <algorithm>

namespace cli {

namespace {

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString brokerLabel(const BrokerAddress& broker)
{
    const QString host = broker.host.contains(u':') ? u'[' + broker.host + u']' : broker.host;
    return QStringLiteral("%1://%2%3:%4")
        .arg(broker.tls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"),
            broker.user.isEmpty() ? QString() : broker.user + u'@', host)
        .arg(broker.port);
}

// A client id per line: two bridges on one broker serve two prefixes.
QString clientIdOf(const Topics& topics)
{
    QString id = QStringLiteral("pwm5ctl-bridge-") + topics.prefix;
    id.replace(u'/', u'-');
    return id.left(64);
}

MqttClient::Settings clientSettings(const Invocation& call, const BridgePlan& plan)
{
    return { plan.broker, plan.password, call.caFile, clientIdOf(plan.topics),
        plan.topics.bridge() };
}

} // namespace

Bridge::Bridge(const Invocation& call, Console& console, BridgePlan plan, const MosquittoApi& api)
    : call_(call)
    , console_(console)
    , plan_(std::move(plan))
    , master_(call, console.err)
    , mqtt_(api, clientSettings(call, plan_))
    , lineName_(device::escapedControls(call.port))
{
    for (const int address : call.modules)
        modules_.push_back({ address, {}, false, 0, {}, false });
    wake_.setSingleShot(true);
    wake_.setTimerType(Qt::PreciseTimer);
    connect(&wake_, &QTimer::timeout, this, [this] {
        if (!lineUp_ && !openLine())
            return;
        pump();
    });
    connect(&mqtt_, &MqttClient::connected, this, &Bridge::onConnected);
    connect(&mqtt_, &MqttClient::subscribed, this, &Bridge::onSubscribed);
    connect(&mqtt_, &MqttClient::lost, this, &Bridge::onLost);
    connect(&mqtt_, &MqttClient::refused, this, &Bridge::onRefused);
    connect(&mqtt_, &MqttClient::message, this, &Bridge::onMessage);
    if (const StopSignals* stops = StopSignals::current())
        connect(stops, &StopSignals::stopped, this, &Bridge::stop);
}

int Bridge::run()
{
    if (!call_.where) {
        console_.fail(
            kPortUnusable, QStringLiteral("%1: %2").arg(call_.where.label, call_.where.fault.text));
        return kPortUnusable;
    }
    openLine();
    if (exitStatus_)
        return *exitStatus_;
    mqtt_.start();
    QEventLoop loop;
    // Ends by finish(), after a stop or a refusal.
    connect(this, &Bridge::finished, &loop, &QEventLoop::quit);
    schedule();
    if (!finished_)
        loop.exec();
    master_.close();
    return exitStatus_.value_or(kDone);
}

// ---- The line

// Opens the line at the call's settings: true when it is up. A line that can never be one is
// said and ends the bridge; any other failure is tried again every 2 s.
bool Bridge::openLine()
{
    const auto fault = master_.open(*call_.where.address, call_.line);
    if (!fault) {
        if (lineSaid_)
            console_.err << "pwm5ctl: " << lineName_ << ": open again" << Qt::endl;
        lineSaid_ = false;
        lineUp_ = true;
        return true;
    }
    if (fault->kind == line::Failure::Interrupted)
        return false;
    if (fault->kind == line::Failure::Unusable) {
        console_.fail(kPortUnusable, QStringLiteral("%1: %2").arg(lineName_, fault->text));
        exitStatus_ = kPortUnusable;
        finish();
        return false;
    }
    lineLost(fault->text);
    return false;
}

// Every module is offline while the port is away; it is opened again every 2 s.
void Bridge::lineLost(const QString& why)
{
    if (!lineSaid_)
        console_.err << "pwm5ctl: " << lineName_ << ": " << why << "; opening it again every "
                     << kReopen.count() << " s" << Qt::endl;
    lineSaid_ = true;
    lineUp_ = false;
    master_.close();
    round_.clear();
    for (Module& m : modules_) {
        m.failedRounds = 0;
        if (m.online)
            publishAvailability(m, false);
    }
    wake_.start(kReopen);
}

void Bridge::schedule()
{
    QMetaObject::invokeMethod(this, &Bridge::pump, Qt::QueuedConnection);
}

// Serves what is due: commands first, then the reads of the round. A request runs a local
// event loop, in which the broker's messages arrive and are queued: pump() is then busy and
// takes them up once the exchange is over.
void Bridge::pump()
{
    if (busy_)
        return;
    busy_ = true;
    while (!stopping_ && pumpOnce()) { }
    busy_ = false;
    if (stopping_)
        return finish();
    if (!lineUp_)
        return;
    // The next round, or the next try of an offline module when none is online.
    const std::int64_t interval = call_.intervalMs;
    std::int64_t wait = std::max<std::int64_t>(0, interval - sinceRound_.elapsed());
    if (std::ranges::none_of(modules_, [this](const Module& m) { return due(m); })) {
        std::int64_t soonest = std::chrono::milliseconds(kOfflineRetry).count();
        for (const Module& m : modules_)
            soonest = std::min<std::int64_t>(
                soonest, std::chrono::milliseconds(kOfflineRetry).count() - m.sinceTry.elapsed());
        wait = std::max(wait, soonest);
    }
    wake_.start(std::chrono::milliseconds(std::max<std::int64_t>(wait, 0)));
}

bool Bridge::pumpOnce()
{
    if (!commands_.empty()) {
        const Command command = commands_.front();
        commands_.pop_front();
        serve(command);
        return true;
    }
    if (!lineUp_)
        return false;
    if (round_.empty() && (!sinceRound_.isValid() || sinceRound_.elapsed() >= call_.intervalMs))
        startRound();
    if (round_.empty())
        return false;
    Module* m = round_.front();
    round_.pop_front();
    read(*m);
    return true;
}

void Bridge::startRound()
{
    sinceRound_.start();
    for (Module& m : modules_)
        if (due(m))
            round_.push_back(&m);
}

// An offline module is read once every 10 s; the others in every round.
bool Bridge::due(const Module& m) const
{
    return m.online || m.failedRounds < kFailedRoundsOffline || !m.sinceTry.isValid()
        || m.sinceTry.elapsed() >= std::chrono::milliseconds(kOfflineRetry).count();
}

void Bridge::read(Module& m)
{
    const Answer answer = master_.ask(device::readAllRequest(static_cast<std::uint8_t>(m.address)));
    if (answer.interrupted())
        return;
    if (line::isLineFailure(answer.failure))
        return lineLost(answer.error);
    m.sinceTry.start();
    if (!answer.ok()) {
        ++m.failedRounds;
        if (m.online && m.failedRounds >= kFailedRoundsOffline)
            publishAvailability(m, false);
        return;
    }
    const device::Reading reading = device::decodedReply(answer.reply, {});
    const bool changed = !m.last || m.last->values != reading.values;
    m.last = reading;
    m.failedRounds = 0;
    if (!m.online)
        publishAvailability(m, true);
    if (changed || m.stateWaiting)
        publishState(m);
}

Bridge::Module* Bridge::moduleAt(int address)
{
    const auto found = std::ranges::find_if(
        modules_, [address](const Module& m) { return m.address == address; });
    return found == modules_.end() ? nullptr : &*found;
}

// A command as apply serves a file: the module is read, and only a block that changes
// something is written. The result has the values as written.
void Bridge::serve(const Command& command)
{
    Module* m = moduleAt(command.address);
    const auto profile = commandProfile(command.name, command.payload);
    if (!m || !profile) {
        const QString why = m
            ? profile.error()
            : QStringLiteral("module %1 is not on this bridge's list (-a)").arg(command.address);
        return publishResult(command.address, failureJson(QStringLiteral("bad_request"), why));
    }
    if (!lineUp_)
        return publishResult(m->address,
            failureJson(
                line::Failure::Lost, QStringLiteral("%1: the line is away").arg(lineName_)));
    const auto slave = static_cast<std::uint8_t>(m->address);
    const Answer held = master_.ask(device::readAllRequest(slave));
    if (!held.ok() && !held.interrupted())
        publishResult(m->address, failureJson(held.failure, held.error));
    if (!held.ok())
        return held.interrupted() || !line::isLineFailure(held.failure) ? void()
                                                                        : lineLost(held.error);
    device::Reading reading = device::decodedReply(held.reply, {});
    const ProfileWrite write = profileWrite(m->address, reading.values, *profile);
    if (!write.request.isEmpty()) {
        const Answer written = master_.ask(write.request);
        if (!written.ok()) {
            if (!written.interrupted())
                publishResult(m->address, failureJson(written.failure, written.error));
            if (line::isLineFailure(written.failure))
                lineLost(written.error);
            return;
        }
    }
    publishResult(m->address,
        QJsonObject { { QStringLiteral("ok"), true },
            { QStringLiteral("changed"), changedJson(reading.values, write.after) } });
    // What the module holds now: the echo of the write says it took the values.
    reading.values = write.after;
    m->last = reading;
    m->failedRounds = 0;
    if (!m->online)
        publishAvailability(*m, true);
    publishState(*m);
}

// ---- The broker

void Bridge::onConnected()
{
    console_.err << "pwm5ctl: connected to " << brokerLabel(plan_.broker) << Qt::endl;
    brokerSaid_ = false;
    // Subscribed before anything is published: a command sent on seeing online is never lost.
    mqtt_.subscribe(plan_.topics.setFilter(), 1);
    mqtt_.subscribe(plan_.topics.setNameFilter(), 1);
}

// Everything a new subscriber, or a broker that lost its retained messages, needs again.
void Bridge::onSubscribed()
{
    mqtt_.publish(plan_.topics.bridge(), "online", 1, true);
    if (call_.discovery)
        publishDiscovery();
    for (Module& m : modules_) {
        publishAvailability(m, m.online);
        if (m.last)
            publishState(m);
    }
}

// Said once until the broker is reached again, not at every attempt.
void Bridge::onLost(const QString& why)
{
    if (brokerSaid_)
        return;
    brokerSaid_ = true;
    console_.err << "pwm5ctl: " << brokerLabel(plan_.broker) << ": " << why
                 << "; trying again, at most every " << MqttClient::kLastRetry.count() << " s"
                 << Qt::endl;
}

void Bridge::onRefused(const QString& why)
{
    console_.fail(kPortUnusable, QStringLiteral("%1: %2").arg(brokerLabel(plan_.broker), why));
    exitStatus_ = kPortUnusable;
    stopping_ = true;
    master_.interrupt();
    if (!busy_)
        finish();
}

void Bridge::onMessage(const MqttClient::Message& message)
{
    const auto command = commandTopic(plan_.topics, message.topic);
    if (!command)
        return;
    if (commands_.size() >= kMostWaiting)
        return publishResult(command->address,
            failureJson(QStringLiteral("bad_request"),
                QStringLiteral("%1 commands wait already; send it again later").arg(kMostWaiting)));
    commands_.push_back({ command->address, command->name, message.payload });
    schedule();
}

void Bridge::publishAvailability(Module& m, bool online)
{
    m.online = online;
    mqtt_.publish(plan_.topics.availability(m.address), online ? "online" : "offline", 1, true);
}

// A state that cannot go now (no broker, too much waiting) goes once it can.
void Bridge::publishState(Module& m)
{
    mqtt_.publish(plan_.topics.state(m.address), compact(stateJson(m.address, *m.last)), 1, true);
    m.stateWaiting = false;
}

void Bridge::publishResult(int address, const QJsonObject& result)
{
    mqtt_.publish(plan_.topics.result(address), compact(result), 1, false);
}

void Bridge::publishDiscovery()
{
    for (const Module& m : modules_)
        for (const DiscoveryConfig& c : discoveryConfigs({ plan_.topics, call_.discoveryPrefix,
                 m.address, lineName_, QCoreApplication::applicationVersion() }))
            mqtt_.publish(c.topic, compact(c.config), 1, true);
}

// ---- The end

void Bridge::stop()
{
    stopping_ = true;
    master_.interrupt();
    if (!busy_)
        finish();
}

// Every module and the bridge offline, a clean disconnect; the port closes after.
void Bridge::finish()
{
    if (finished_)
        return;
    finished_ = true;
    wake_.stop();
    if (mqtt_.state() == MqttClient::State::Connected) {
        for (Module& m : modules_)
            publishAvailability(m, false);
        mqtt_.publish(plan_.topics.bridge(), "offline", 1, true);
    }
    mqtt_.finish(std::chrono::seconds(2));
    emit finished();
}

} // namespace cli
