#include "port_holder.h"

#include "text/quoted_text.h"

#include <QFile>

namespace line {

namespace {

#ifdef Q_OS_LINUX
QString readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.read(4096));
}
#endif

// The value of an option, given as "--name value" or "--name=value".
QString optionValue(const QStringList& arguments, const QString& name)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == name && i + 1 < arguments.size())
            return arguments[i + 1];
        if (arguments[i].startsWith(name + u'='))
            return arguments[i].sliced(name.size() + 1);
    }
    return {};
}

} // namespace

QString lockFileName(const QString& devicePath)
{
    QString name
        = devicePath.startsWith(QLatin1String("/dev/")) ? devicePath.sliced(5) : devicePath;
    name.replace(u'/', u'_');
    return QStringLiteral("LCK..") + name;
}

std::optional<PortHolder> holderOf(
    const QString& lockText, const QString& program, const QStringList& arguments)
{
    bool ok = false;
    const qint64 pid = lockText.section(u'\n', 0, 0).trimmed().toLongLong(&ok);
    if (!ok || pid <= 0)
        return std::nullopt;
    PortHolder holder { pid, program.trimmed(), false, {} };
    // pwm5ctl bridge becomes pwm5-bridge, with pwm5ctl's arguments.
    holder.bridge = holder.program == QLatin1String("pwm5-bridge")
        || (holder.program == QLatin1String("pwm5ctl")
            && arguments.contains(QLatin1String("bridge")));
    if (holder.bridge)
        holder.rtuFace = optionValue(arguments, QStringLiteral("--rtu-tcp"));
    return holder;
}

std::optional<PortHolder> portHolder(const QString& devicePath)
{
#ifdef Q_OS_LINUX
    const QString lock = readAll(QStringLiteral("/var/lock/") + lockFileName(devicePath));
    const qint64 pid = lock.section(u'\n', 0, 0).trimmed().toLongLong();
    if (pid <= 0)
        return std::nullopt;
    const QString proc = QStringLiteral("/proc/%1/").arg(pid);
    QStringList arguments = readAll(proc + QStringLiteral("cmdline")).split(QChar(0));
    return holderOf(lock, readAll(proc + QStringLiteral("comm")), arguments);
#else
    Q_UNUSED(devicePath);
    return std::nullopt;
#endif
}

QString heldText(const PortHolder& holder)
{
    QString text = QStringLiteral("in use by another program (%1, process %2)")
                       .arg(holder.program.isEmpty() ? QStringLiteral("unknown")
                                                     : quoting::escapedControls(holder.program))
                       .arg(holder.pid);
    if (!holder.bridge)
        return text;
    if (holder.rtuFace.isEmpty())
        return text
            + QStringLiteral("; the bridge owns the line: give it --rtu-tcp PORT to reach the line "
                             "through it, or stop it");
    // A face on every interface, or on this PC's loopback, is reached on 127.0.0.1.
    QString face = holder.rtuFace;
    const qsizetype colon = face.lastIndexOf(u':');
    const QString host = colon < 0 ? QString() : face.first(colon);
    if (colon < 0 || host == QLatin1String("0.0.0.0") || host.isEmpty())
        face = QStringLiteral("127.0.0.1:") + face.sliced(colon + 1);
    return text
        + QStringLiteral("; the bridge owns the line: reach it through -p tcp:%1")
              .arg(quoting::quotedValue(face));
}

} // namespace line
