#include "modules.h"

#include "stop_signals.h"

namespace cli {

QJsonObject failureJson(const QString& kind, const QString& error)
{
    return { { QStringLiteral("ok"), false }, { QStringLiteral("failure"), kind },
        { QStringLiteral("error"), error } };
}

QJsonObject failureJson(line::Failure failure, const QString& error)
{
    return failureJson(QLatin1String(line::failureKind(failure).jsonName), error);
}

QJsonObject failureJson(int address, const Answer& answer)
{
    QJsonObject object = failureJson(answer.failure, answer.error);
    object.insert(QStringLiteral("address"), address);
    // An exception reply: address, function | 0x80, the code, CRC.
    if (answer.failure == line::Failure::Exception && answer.reply.size() >= 3)
        object.insert(QStringLiteral("exception_code"), answer.view().exceptionCode);
    return object;
}

int failModule(const Invocation& call, Console& console, int address, const Answer& answer,
    const QString& asked)
{
    if (call.json && !answer.interrupted())
        console.print(failureJson(address, answer));
    if (!severalModules(call))
        return console.fail(answer, asked);
    const QString module = QStringLiteral("module %1").arg(address);
    return console.fail(answer, asked.isEmpty() ? module : module + QStringLiteral(": ") + asked);
}

int failAnswer(const Invocation& call, Console& console, const Answer& answer, const QString& asked)
{
    if (call.json && !answer.interrupted())
        console.print(failureJson(answer.failure,
            asked.isEmpty() || line::isLineFailure(answer.failure)
                ? answer.error
                : asked + QStringLiteral(": ") + answer.error));
    return console.fail(answer, asked);
}

int serveModules(const Invocation& call, Master& master, Console& console,
    const std::function<int(int address)>& serve)
{
    if (const int status = openLine(call, master, console, call.line.baud))
        return status;
    int worst = kDone;
    for (const int address : call.modules) {
        if (const StopSignals* stops = StopSignals::current(); stops && stops->stop() != Stop::None)
            break;
        const int status = serve(address);
        if (status == kPortUnusable)
            return status;
        if (status != kDone)
            worst = kModuleFault;
    }
    return worst;
}

} // namespace cli
