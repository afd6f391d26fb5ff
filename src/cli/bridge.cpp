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
    return { plan.broker, plan.password, call.caFile,
        clientIdOf(plan.topics.prefix, QCoreApplication::applicationPid()), plan.topics.bridge() };
}

} // namespace

Bridge::Bridge(const Invocation& call, Console& console, BridgePlan plan, const MosquittoApi& api)
    : call_(call)
    , console_(console)
    , plan_(std::move(plan))
    , master_(call, console.err)
    , mqtt_(api, clientSettings(call, plan_))
    , lineName_(quoting::escapedControls(call.port))
    , schedule_({ call.modules.begin(), call.modules.end() })
{
    clock_.start();
    for (const int address : call.modules)
        modules_.push_back({ address, {}, false });
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
    if (!call_.where)
        return console_.say(Report::ofLine(call_.where.label, call_.where.fault));
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
        exitStatus_ = console_.say(Report::ofLine(lineName_, *fault));
        finish();
        return false;
    }
    lineLost(fault->text);
    return false;
}

// What happened to the line, in its own words: the answer's error names the line already, and
// lineLost() names it once.
QString Bridge::lossText(const Answer& answer) const
{
    const line::Line* line = master_.line();
    return line && line->lostFault() ? line->lostFault()->text : answer.error;
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
    for (Module& m : modules_)
        if (m.online)
            publishAvailability(m, false);
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
    // The next round; when it would read nothing, the next probe of an offline module.
    std::chrono::milliseconds wait { std::max<std::int64_t>(
        0, call_.intervalMs - sinceRound_.elapsed()) };
    if (schedule_.round(now()).empty())
        wait = std::max(wait, schedule_.untilProbe(now()).value_or(PollSchedule::kOfflineRetry));
    wake_.start(wait);
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
    Module* m = moduleAt(round_.front());
    round_.pop_front();
    read(*m);
    return true;
}

void Bridge::startRound()
{
    sinceRound_.start();
    for (const int address : schedule_.round(now()))
        round_.push_back(address);
}

PollSchedule::Instant Bridge::now() const
{
    return PollSchedule::Instant(clock_.elapsed());
}

void Bridge::read(Module& m)
{
    const Answer answer = master_.ask(device::readAllRequest(static_cast<std::uint8_t>(m.address)));
    if (answer.interrupted())
        return;
    if (line::isLineFailure(answer.failure))
        return lineLost(lossText(answer));
    if (!answer.ok()) {
        schedule_.failed(m.address, now());
        if (m.online && schedule_.offline(m.address))
            publishAvailability(m, false);
        return;
    }
    const device::Reading reading = device::decodedRegisters(answer.view().registerBytes, {});
    const bool changed = !m.last || m.last->values != reading.values;
    m.last = reading;
    schedule_.answered(m.address);
    if (!m.online)
        publishAvailability(m, true);
    if (changed)
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
    if (!command.refusal.isEmpty())
        return publishResult(command.level, Report::refused(command.refusal));
    if (!command.address)
        return publishResult(command.level,
            Report::refused(
                QStringLiteral("\"%1\" is not a module address, %2 to %3 in plain digits")
                    .arg(quoting::quotedValue(command.level),
                        QString::number(device::kMinUnicastAddress),
                        QString::number(device::kMaxUnicastAddress))));
    Module* m = moduleAt(*command.address);
    const auto profile = commandProfile(command.name, command.payload);
    if (!m || !profile) {
        const QString why = m
            ? profile.error()
            : QStringLiteral("module %1 is not on this bridge's list (-a)").arg(*command.address);
        return publishResult(command.level, Report::refused(why));
    }
    if (mqtt_.unsentResults() >= kMostUnsentResults)
        return publishResult(command.level,
            Report::refused(
                QStringLiteral("%1 results wait for the broker already; send it again later")
                    .arg(kMostUnsentResults)));
    if (!lineUp_)
        return publishResult(command.level,
            Report::ofLine(lineName_, { line::Failure::Lost, QStringLiteral("the line is away") }));
    const auto slave = static_cast<std::uint8_t>(m->address);
    const Answer held = master_.ask(device::readAllRequest(slave));
    if (!held.ok() && !held.interrupted())
        publishResult(command.level, Report::ofAnswer(held));
    if (!held.ok())
        return held.interrupted() || !line::isLineFailure(held.failure) ? void()
                                                                        : lineLost(lossText(held));
    device::Reading reading = device::decodedRegisters(held.view().registerBytes, {});
    const ProfileWrite write = profileWrite(m->address, reading.values, *profile);
    if (!write.request.isEmpty()) {
        const Answer written = master_.ask(write.request);
        if (!written.ok()) {
            if (!written.interrupted())
                publishResult(command.level, Report::ofAnswer(written));
            if (line::isLineFailure(written.failure))
                lineLost(lossText(written));
            return;
        }
    }
    publishResult(command.level,
        QJsonObject { { QStringLiteral("ok"), true },
            { QStringLiteral("changed"), changedJson(reading.values, write.after) } });
    // What the module holds now: the echo of the write says it took the values.
    reading.values = write.after;
    m->last = reading;
    schedule_.answered(m->address);
    if (!m->online)
        publishAvailability(*m, true);
    publishState(*m);
}

// ---- The broker

void Bridge::onConnected()
{
    // Subscribed before anything is published: a command sent on seeing online is never lost.
    mqtt_.subscribe(plan_.topics.setFilter(), 1);
    mqtt_.subscribe(plan_.topics.setNameFilter(), 1);
}

// Everything a new subscriber, or a broker that lost its retained messages, needs again.
void Bridge::onSubscribed()
{
    console_.err << "pwm5ctl: connected to " << brokerLabel(plan_.broker) << Qt::endl;
    brokerSaid_.clear();
    mqtt_.publish(plan_.topics.bridge(), "online", 1, true);
    if (call_.discovery)
        publishDiscovery();
    for (Module& m : modules_) {
        publishAvailability(m, m.online);
        if (m.last)
            publishState(m);
    }
}

// Said once until the broker is reached again or the reason changes, not at every attempt.
void Bridge::onLost(const QString& why)
{
    if (why == brokerSaid_)
        return;
    brokerSaid_ = why;
    console_.err << "pwm5ctl: " << brokerLabel(plan_.broker) << ": " << why
                 << "; trying again, at most every " << MqttClient::kLastRetry.count() << " s"
                 << Qt::endl;
}

void Bridge::onRefused(const QString& why)
{
    // The broker took the connection but turned the bridge away.
    exitStatus_
        = console_.say(Report::ofLine(brokerLabel(plan_.broker), { line::Failure::Refused, why }));
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
    commands_.push_back(std::move(queued));
    schedule();
}

void Bridge::publishAvailability(Module& m, bool online)
{
    m.online = online;
    mqtt_.publish(plan_.topics.availability(m.address), online ? "online" : "offline", 1, true);
}

// A state that cannot go now (no broker, too much waiting) waits in the client's outbox, where
// a newer one takes its place.
void Bridge::publishState(Module& m)
{
    mqtt_.publish(plan_.topics.state(m.address), compact(stateJson(m.address, *m.last)), 1, true);
}

void Bridge::publishResult(QStringView level, const QJsonObject& result)
{
    mqtt_.publish(plan_.topics.result(level), compact(result), 1, false);
}

void Bridge::publishResult(QStringView level, const Report& failure)
{
    publishResult(level, failure.json());
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
