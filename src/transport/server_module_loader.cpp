#include "server_module.h"

#ifdef PWM5_NETWORK_MODULE
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#include <dlfcn.h>
#endif

namespace line {

#ifdef PWM5_NETWORK_MODULE

namespace {

using Maker = line::Line* (*)(const line::LineAddress&, QObject*);

// The module lies beside this library, libpwm5-core.so, wherever that was loaded from.
QString modulePath()
{
    static const char anchor = 0;
    Dl_info info {};
    if (::dladdr(&anchor, &info) == 0 || !info.dli_fname)
        return {};
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname))
        .dir()
        .filePath(QStringLiteral(PWM5_NETWORK_MODULE));
}

Maker maker(QString& why)
{
    static Maker found = nullptr;
    static QString failure;
    if (found || !failure.isEmpty()) {
        why = failure;
        return found;
    }
    const QString path = modulePath();
    if (!path.isEmpty() && QFileInfo::exists(path)) {
        QLibrary module(path);
        // Kept loaded for the program's life: its lines live as long as they are used.
        module.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        found = reinterpret_cast<Maker>(module.resolve("pwm5MakeServerLine"));
        if (found)
            return found;
        failure = module.errorString();
    } else {
        failure = QStringLiteral("%1 is not installed").arg(QStringLiteral(PWM5_NETWORK_MODULE));
    }
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
