// bridge: a line of modules on an MQTT broker, as a service.

#include "bridge.h"
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
    if (call.arguments.size() != 1)
        return Result<BridgePlan>::failure(
            QStringLiteral("bridge needs the BROKER, mqtt://[USER@]HOST[:PORT]"));
    const auto broker = brokerAddress(call.arguments.front());
    if (!broker)
        return Result<BridgePlan>::failure(broker.error());
    BridgePlan plan { *broker, {}, Topics { call.topicPrefix } };
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

} // namespace

int bridgeCommand(const Invocation& call, Console& console)
{
    const auto plan = planOf(call);
    if (!plan)
        return console.say(Report::refused(plan.error()));
    QString why;
    const MosquittoApi* api = mosquittoApi(why);
    if (!api)
        return console.say(Report::plain(kPortUnusable, why));
    // A service's failures go to its log, stderr, whatever --json says.
    Console log { console.out, console.err };
    Bridge bridge(call, log, *plan, *api);
    return bridge.run();
}

} // namespace cli
