// bridge: a line of modules on an MQTT broker and on TCP faces, as a service: what pwm5-bridge
// runs.

#include "bridge.h"

#include "bridge/allow_list.h"
#include "bridge/face_address.h"
#include "bridge/face_desk.h"
#include "bridge/face_server.h"
#include "broker_address.h"
#include "commands.h"

#include "device/parameter_value.h"
#include "ports/file_kind.h"
#include "text/quoted_text.h"

#include <QFile>

namespace cli {

namespace {

// The password is the first line of its file: never on the command line, where the process
// list and the shell's history would show it.
Result<QString> passwordOf(const QString& path)
{
    constexpr qint64 kMostRead = 4096;
    QFile file;
    QString why;
    const line::FileKind kind = line::openForReading(path, file, &why);
    if (kind != line::FileKind::Regular)
        return Result<QString>::failure(
            QStringLiteral("--password-file %1: %2")
                .arg(quoting::escapedControls(path),
                    why.isEmpty() ? QStringLiteral("is %1").arg(line::kindText(kind)) : why));
    QString first = QString::fromUtf8(file.read(kMostRead)).section(u'\n', 0, 0);
    if (first.endsWith(u'\r'))
        first.chop(1);
    // A login with no password would be refused, or worse, taken by a broker that allows
    // anonymous users.
    if (first.trimmed().isEmpty())
        return Result<QString>::failure(
            QStringLiteral("--password-file %1: its first line, the password, is empty")
                .arg(quoting::escapedControls(path)));
    return first;
}

Result<BridgePlan> planOf(const Invocation& call)
{
    const bool faces = !call.modbusTcp.isEmpty() || !call.rtuTcp.isEmpty();
    // A service's settings file with BROKER= left empty passes an empty argument: the line is
    // served by its faces alone.
    const bool noBroker = call.arguments.isEmpty()
        || (faces && call.arguments.size() == 1 && call.arguments.front().isEmpty());
    if (call.arguments.size() > 1 || (noBroker && !faces))
        return Result<BridgePlan>::failure(QStringLiteral(
            "bridge needs the BROKER, mqtt://[USER@]HOST[:PORT], --modbus-tcp or --rtu-tcp"));
    BridgePlan plan { std::nullopt, {}, Topics { call.topicPrefix } };
    if (noBroker)
        return plan;
    const auto broker = brokerAddress(call.arguments.front());
    if (!broker)
        return Result<BridgePlan>::failure(broker.error());
    plan.broker = *broker;
    if (!call.passwordFile.isEmpty()) {
        if (broker->user.isEmpty())
            return Result<BridgePlan>::failure(
                QStringLiteral("--password-file needs a user in the address: mqtt://USER@HOST"));
        const auto password = passwordOf(call.passwordFile);
        if (!password)
            return Result<BridgePlan>::failure(password.error());
        plan.password = *password;
    }
    if (!call.caFile.isEmpty() && !broker->tls)
        return Result<BridgePlan>::failure(
            QStringLiteral("--ca-file goes with mqtts://, not mqtt://"));
    return plan;
}

// The faces of the call, listening; or the report of one that cannot be.
struct Faces {
    std::vector<std::unique_ptr<bridge::FaceServer>> servers;
    std::vector<std::unique_ptr<bridge::FaceDesk>> desks;
};

std::optional<Report> openFaces(const Invocation& call, Bridge& owner, Console& log, Faces& faces)
{
    QString why;
    bridge::AllowList allow;
    if (!call.allow.isEmpty()) {
        const auto given = bridge::AllowList::parsed(call.allow, &why);
        if (!given)
            return Report::refused(why);
        allow = *given;
    }
    struct Wanted {
        const char* option;
        const QString& text;
        bridge::FaceProtocol protocol;
    };
    const Wanted wanted[] = { { "--modbus-tcp", call.modbusTcp, bridge::FaceProtocol::ModbusTcp },
        { "--rtu-tcp", call.rtuTcp, bridge::FaceProtocol::RtuOverTcp } };
    for (const auto& [option, text, protocol] : wanted) {
        if (text.isEmpty())
            continue;
        const auto address = bridge::faceAddress(QLatin1String(option), text, &why);
        if (!address)
            return Report::refused(why);
        bridge::FaceSettings settings;
        settings.protocol = protocol;
        settings.host = address->host;
        settings.port = address->port;
        settings.allow = allow;
        settings.maxClients = call.maxClients;
        auto server = std::make_unique<bridge::FaceServer>(settings);
        if (const auto refused = server->listen())
            return Report::plain(
                kPortUnusable, QStringLiteral("%1: %2").arg(QLatin1String(option), *refused));
        // Where it listens, in the log: what a client and a test wait for.
        log.err << "pwm5ctl: " << option << ": serving the line on "
                << QHostAddress(address->host).toString() << ':' << server->port() << Qt::endl;
        bridge::DeskSettings rules { { call.readOnly }, std::nullopt };
        if (call.maxAgeMs)
            rules.maxAge = std::chrono::milliseconds(*call.maxAgeMs);
        auto desk = std::make_unique<bridge::FaceDesk>(owner.owner(), *server, rules);
        const auto say
            = [&log](const QString& line) { log.err << "pwm5ctl: " << line << Qt::endl; };
        QObject::connect(server.get(), &bridge::FaceServer::note, server.get(), say);
        QObject::connect(desk.get(), &bridge::FaceDesk::note, desk.get(), say);
        faces.servers.push_back(std::move(server));
        faces.desks.push_back(std::move(desk));
    }
    return std::nullopt;
}

} // namespace

int runBridge(const Invocation& call, Console& console)
{
    const auto plan = planOf(call);
    if (!plan)
        return console.say(Report::refused(plan.error()));
    QString why;
    const MosquittoApi* api = nullptr;
    if (plan->broker) {
        api = mosquittoApi(why);
        if (!api)
            return console.say(Report::plain(kPortUnusable, why));
    }
    // A service's failures go to its log, stderr, whatever --json says.
    Console log { console.out, console.err };
    Bridge bridge(call, log, *plan, api);
    Faces faces;
    if (const auto refused = openFaces(call, bridge, log, faces))
        return log.say(*refused);
    return bridge.run();
}

} // namespace cli
