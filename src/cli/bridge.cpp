#include "bridge.h"

#include "bridge_discovery.h"
#include "bridge_request.h"
#include "broker_address.h"
#include "modules.h"
#include "profile_write.h"
#include "reading_output.h"
#include "stop_signals.h"

#include "device/parameter_value.h"
#include "device/requests.h"
#include "text/quoted_text.h"

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

MqttClient::Settings clientSettings(const Invocation& call, const BridgePlan& plan)
{
    return { *plan.broker, plan.password, call.caFile,
        clientIdOf(plan.topics.prefix, QCoreApplication::applicationPid()), plan.topics.bridge() };
}

line::LineAddress addressOf(const Invocation& call)
{
    return call.where.address.value_or(line::LineAddress::serialDevice({}, {}));
}

} // namespace

Bridge::Bridge(const Invocation& call, Console& console, BridgePlan plan, const MosquittoApi* api)
    : call_(call)
    , console_(console)
    , plan_(std::move(plan))
    , master_(call, console.err)
    , lineName_(quoting::escapedControls(call.port))
    , owner_(master_, addressOf(call), call.line,
          { lineName_, { call.modules.begin(), call.modules.end() },
              std::chrono::milliseconds(call.intervalMs) })
{
    connect(&owner_, &bridge::LineOwner::availabilityChanged, this, &Bridge::publishAvailability);
    connect(&owner_, &bridge::LineOwner::readingChanged, this, &Bridge::publishState);
    connect(&owner_, &bridge::LineOwner::note, this,
        [this](const QString& text) { console_.err << "pwm5ctl: " << text << Qt::endl; });
    connect(&owner_, &bridge::LineOwner::unusable, this, [this](const line::LineFault& fault) {
        exitStatus_ = console_.say(Report::ofLine(lineName_, fault));
        stop();
    });
    connect(&owner_, &bridge::LineOwner::stopped, this, &Bridge::finish);
    if (plan_.broker && api) {
        mqtt_ = std::make_unique<MqttClient>(*api, clientSettings(call, plan_));
        connect(mqtt_.get(), &MqttClient::connected, this, &Bridge::onConnected);
        connect(mqtt_.get(), &MqttClient::subscribed, this, &Bridge::onSubscribed);
        connect(mqtt_.get(), &MqttClient::lost, this, &Bridge::onLost);
        connect(mqtt_.get(), &MqttClient::refused, this, &Bridge::onRefused);
        connect(mqtt_.get(), &MqttClient::message, this, &Bridge::onMessage);
    }
    if (const StopSignals* stops = StopSignals::current())
        connect(stops, &StopSignals::stopped, this, &Bridge::stop);
}

int Bridge::run()
{
    if (!call_.where)
        return console_.say(Report::ofLine(call_.where.label, call_.where.fault));
    if (const auto fault = owner_.start())
        return console_.say(Report::ofLine(lineName_, *fault));
    if (mqtt_)
        mqtt_->start();
    QEventLoop loop;
    // Ends by finish(), after a stop or a refusal.
    connect(this, &Bridge::finished, &loop, &QEventLoop::quit);
    if (!finished_)
        loop.exec();
    master_.close();
    return exitStatus_.value_or(kDone);
}

// A command as apply serves a file: the module is read, and only a block that changes
// something is written. The result has the values as written.
void Bridge::serve(const Command& command)
{
    --commandsWaiting_;
    if (!command.refusal.isEmpty())
        return publishResult(command.level, Report::refused(command.refusal));
    if (!command.address)
        return publishResult(command.level,
            Report::refused(
                QStringLiteral("\"%1\" is not a module address, %2 to %3 in plain digits")
                    .arg(quoting::quotedValue(command.level),
                        QString::number(device::kMinUnicastAddress),
                        QString::number(device::kMaxUnicastAddress))));
    const bridge::ModuleState* m = owner_.module(*command.address);
    const auto profile = commandProfile(command.name, command.payload);
    if (!m || !profile) {
        const QString why = m
            ? profile.error()
            : QStringLiteral("module %1 is not on this bridge's list (-a)").arg(*command.address);
        return publishResult(command.level, Report::refused(why));
    }
    if (mqtt_->unsentResults() >= kMostUnsentResults)
        return publishResult(command.level,
            Report::refused(
                QStringLiteral("%1 results wait for the broker already; send it again later")
                    .arg(kMostUnsentResults)));
    if (!owner_.lineUp())
        return publishResult(command.level,
            Report::ofLine(lineName_, { line::Failure::Lost, QStringLiteral("the line is away") }));
    const int address = *command.address;
    const Answer held
        = owner_.ask(address, device::readAllRequest(static_cast<std::uint8_t>(address)));
    if (!held.ok()) {
        if (!held.interrupted())
            publishResult(command.level, Report::ofAnswer(held));
        return;
    }
    device::Reading reading = device::decodedRegisters(held.view().registerBytes, {});
    const ProfileWrite write = profileWrite(address, reading.values, *profile);
    if (!write.request.isEmpty()) {
        const Answer written = owner_.ask(address, write.request);
        if (!written.ok()) {
            if (!written.interrupted())
                publishResult(command.level, Report::ofAnswer(written));
            return;
        }
        owner_.written(address);
    }
    publishResult(command.level,
        QJsonObject { { QStringLiteral("ok"), true },
            { QStringLiteral("changed"), changedJson(reading.values, write.after) } });
    // What the module holds now: the echo of the write says it took the values.
    reading.values = write.after;
    owner_.learned(address, reading);
}

// ---- The broker

void Bridge::onConnected()
{
    // Subscribed before anything is published: a command sent on seeing online is never lost.
    mqtt_->subscribe(plan_.topics.setFilter(), 1);
    mqtt_->subscribe(plan_.topics.setNameFilter(), 1);
}

// Everything a new subscriber, or a broker that lost its retained messages, needs again.
void Bridge::onSubscribed()
{
    console_.err << "pwm5ctl: connected to " << brokerLabel(*plan_.broker) << Qt::endl;
    brokerSaid_.clear();
    mqtt_->publish(plan_.topics.bridge(), "online", 1, true);
    if (call_.discovery)
        publishDiscovery();
    for (const bridge::ModuleState& m : owner_.modules()) {
        publishAvailability(m.address, m.online);
        if (m.last)
            publishState(m.address);
    }
}

// Said once until the broker is reached again or the reason changes, not at every attempt.
void Bridge::onLost(const QString& why)
{
    if (why == brokerSaid_)
        return;
    brokerSaid_ = why;
    console_.err << "pwm5ctl: " << brokerLabel(*plan_.broker) << ": " << why
                 << "; trying again, at most every " << MqttClient::kLastRetry.count() << " s"
                 << Qt::endl;
}

void Bridge::onRefused(const QString& why)
{
    // The broker took the connection but turned the bridge away.
    exitStatus_
        = console_.say(Report::ofLine(brokerLabel(*plan_.broker), { line::Failure::Refused, why }));
    stop();
}

void Bridge::onMessage(const MqttClient::Message& message)
{
    const auto command = commandTopic(plan_.topics, message.topic);
    if (!command)
        return;
    if (commandsWaiting_ >= kMostWaiting)
        return publishResult(command->level,
            Report::refused(
                QStringLiteral("%1 commands wait already; send it again later").arg(kMostWaiting)));
    Command queued { command->level, command->address, command->name, message.payload, {} };
    // A retained command would be applied again at every connection, undoing whatever the
    // operator set since: it is answered once, and never applied.
    if (message.retained
        && !retainedAnswered_.emplace(message.topic, qHash(message.payload)).second)
        return;
    if (message.retained)
        queued.refusal = QStringLiteral(
            "a retained command is ignored; clear it with an empty retained message");
    else if (message.size > kMostCommandBytes)
        queued.refusal
            = QStringLiteral("the message is larger than %1 KiB").arg(kMostCommandBytes >> 10);
    if (!queued.refusal.isEmpty())
        queued.payload.clear();
    ++commandsWaiting_;
    // Commands take their turn with the faces' writes, in the order they came.
    owner_.submit(bridge::LineQueue::kBroker, bridge::LineQueue::Kind::Write,
        [this, queued = std::move(queued)] { serve(queued); });
}

void Bridge::publishAvailability(int address, bool online)
{
    if (mqtt_)
        mqtt_->publish(plan_.topics.availability(address), online ? "online" : "offline", 1, true);
}

// A state that cannot go now (no broker, too much waiting) waits in the client's outbox, where
// a newer one takes its place.
void Bridge::publishState(int address)
{
    const bridge::ModuleState* m = owner_.module(address);
    if (mqtt_ && m && m->last)
        mqtt_->publish(plan_.topics.state(address), compact(stateJson(address, *m->last)), 1, true);
}

void Bridge::publishResult(QStringView level, const QJsonObject& result)
{
    mqtt_->publish(plan_.topics.result(level), compact(result), 1, false);
}

void Bridge::publishResult(QStringView level, const Report& failure)
{
    publishResult(level, failure.json());
}

void Bridge::publishDiscovery()
{
    for (const bridge::ModuleState& m : owner_.modules())
        for (const DiscoveryConfig& c : discoveryConfigs({ plan_.topics, call_.discoveryPrefix,
                 m.address, lineName_, QCoreApplication::applicationVersion() }))
            mqtt_->publish(c.topic, compact(c.config), 1, true);
}

// ---- The end

// The exchange in progress ends at once; finish() follows once the owner has stopped.
void Bridge::stop()
{
    if (stopping_)
        return;
    stopping_ = true;
    owner_.stop();
}

// Every module and the bridge offline, a clean disconnect; the port closes after.
void Bridge::finish()
{
    if (finished_)
        return;
    finished_ = true;
    if (mqtt_) {
        if (mqtt_->state() == MqttClient::State::Connected) {
            for (const bridge::ModuleState& m : owner_.modules())
                publishAvailability(m.address, false);
            mqtt_->publish(plan_.topics.bridge(), "offline", 1, true);
        }
        mqtt_->finish(std::chrono::seconds(2));
    }
    emit finished();
}

} // namespace cli
