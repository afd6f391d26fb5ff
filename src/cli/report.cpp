#include "report.h"

#include <utility>

namespace cli {

namespace {

// The exit status of a failure of this kind: the line's own, or the module's fault.
int exitStatusOf(line::Failure kind)
{
    return line::isLineFailure(kind) ? kPortUnusable : kModuleFault;
}

// "before: text", or whichever of the two is not empty.
QString joined(const QString& before, const QString& text)
{
    if (before.isEmpty() || text.isEmpty())
        return before + text;
    return before + QStringLiteral(": ") + text;
}

} // namespace

Report::Report(line::Failure kind, QString words)
    : exitCode(exitStatusOf(kind))
    , failure(kind)
    , text(std::move(words))
{
}

Report Report::ofAnswer(
    const line::Answer& answer, const QString& asked, std::optional<Module> module)
{
    // What was asked is no part of a failure of the line, nor of a stop.
    const bool own = answer.interrupted() || line::isLineFailure(answer.failure);
    Report report(answer.failure, answer.error);
    // Its JSON line had none: a stop is the exit status's to tell.
    report.terminalOnly = answer.interrupted();
    if (!module) {
        report.text = joined(own ? QString() : asked, answer.error);
        return report;
    }
    report.address = module->address;
    if (answer.failure == line::Failure::Exception)
        report.exceptionCode = answer.view().exceptionCode;
    if (!own)
        report.context = joined(
            module->named ? QStringLiteral("module %1").arg(module->address) : QString(), asked);
    return report;
}

Report Report::ofLine(const QString& label, const line::LineFault& fault)
{
    Report report(fault.kind, joined(label, fault.text));
    report.exitCode = kPortUnusable;
    return report;
}

Report Report::refused(const QString& words, int exitCode)
{
    Report report(line::Failure::BadRequest, words);
    report.exitCode = exitCode;
    return report;
}

Report Report::plain(int exitCode, const QString& words)
{
    Report report(line::Failure::None, words);
    report.exitCode = exitCode;
    report.terminalOnly = true;
    return report;
}

QString Report::terminalText() const
{
    return joined(context, text);
}

QJsonObject Report::json() const
{
    QJsonObject object { { QStringLiteral("ok"), false },
        { QStringLiteral("failure"), QLatin1String(line::failureKind(failure).jsonName) },
        { QStringLiteral("error"), text } };
    if (address)
        object.insert(QStringLiteral("address"), *address);
    if (exceptionCode)
        object.insert(QStringLiteral("exception_code"), *exceptionCode);
    return object;
}

} // namespace cli
