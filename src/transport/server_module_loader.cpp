#include "server_module.h"

#ifdef PWM5_NETWORK_MODULE
#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QProcessEnvironment>
#endif

namespace line {

#ifdef PWM5_NETWORK_MODULE

namespace {

using Maker = line::Line* (*)(const line::LineAddress&, QObject*);

// Where the module is: PWM5_MODULE_DIR, beside the program (a build tree), or where the
// package installs it, relative to the program.
QStringList moduleCandidates()
{
    const QString name = QStringLiteral(PWM5_NETWORK_MODULE);
    const QString dir = QCoreApplication::applicationDirPath();
    QStringList candidates;
    if (const QString given = qEnvironmentVariable("PWM5_MODULE_DIR"); !given.isEmpty())
        candidates << QDir(given).filePath(name);
    candidates << QDir(dir).filePath(name)
               << QDir(dir).filePath(QStringLiteral(PWM5_MODULE_FROM_BIN "/") + name);
    return candidates;
}

Maker maker(QString& why)
{
    static Maker found = nullptr;
    static QString failure;
    if (found || !failure.isEmpty()) {
        why = failure;
        return found;
    }
    for (const QString& path : moduleCandidates()) {
        QLibrary module(path);
        if (!QDir().exists(path))
            continue;
        // Kept loaded for the program's life: its lines live as long as they are used.
        module.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        found = reinterpret_cast<Maker>(module.resolve("pwm5MakeServerLine"));
        if (found)
            return found;
        failure = module.errorString();
    }
    if (failure.isEmpty())
        failure = QStringLiteral("%1 is not installed").arg(QStringLiteral(PWM5_NETWORK_MODULE));
    failure = QStringLiteral("this installation cannot reach a device server: %1").arg(failure);
    why = failure;
    return nullptr;
}

} // namespace

std::unique_ptr<Line> serverLineFor(
    const LineAddress& address, QObject* parent, std::optional<LineFault>& fault)
{
    QString why;
    if (const Maker make = maker(why))
        return std::unique_ptr<Line>(make(address, parent));
    fault = LineFault { Failure::Unusable, why };
    return nullptr;
}

#else

std::unique_ptr<Line> serverLineFor(
    const LineAddress& address, QObject* parent, std::optional<LineFault>&)
{
    return std::unique_ptr<Line>(pwm5MakeServerLine(address, parent));
}

#endif

} // namespace line
