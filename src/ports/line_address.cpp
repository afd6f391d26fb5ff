#include "line_address.h"

#include "ports/file_kind.h"
#ifdef Q_OS_WIN
#include "ports/windows_port_file.h"
#endif
#include "text/quoted_text.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>
#include <optional>
#include <tuple>
#include <utility>

namespace line {

namespace {

bool isUsbAdapter(const QString& name)
{
    return name.startsWith(QLatin1String("ttyUSB")) || name.startsWith(QLatin1String("ttyACM"));
}

// ttyUSB2 sorts before ttyUSB10: the trailing number compares by value.
auto sortKey(const QString& location)
{
    const QString name = QFileInfo(location).fileName();
    qsizetype digits = name.size();
    while (digits > 0 && name.at(digits - 1).isDigit())
        --digits;
    const QString stem = name.first(digits);
    const QString number = name.sliced(digits);
    return std::make_tuple(!isUsbAdapter(name), stem, number.size(), number, location);
}

// The number of a COMn name: COM and one to three ASCII digits, and at most a final line feed.
// Read by hand: a regular expression cost each call half a millisecond to compile.
std::optional<int> comNumber(QStringView given)
{
    if (given.endsWith(u'\n'))
        given.chop(1);
    if (!given.startsWith(QLatin1String("COM")))
        return std::nullopt;
    const QStringView digits = given.sliced(3);
    if (digits.isEmpty() || digits.size() > 3
        || !std::ranges::all_of(digits, [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    return digits.toInt();
}

// Labels are for messages: what a name or a file holds reaches the terminal escaped.
ResolvedLine noLine(Failure kind, const QString& text, const QString& label)
{
    return { std::nullopt, { kind, text }, quoting::escapedControls(label) };
}

// A network address, or why the text is none.
ResolvedLine serverLine(const QString& text)
{
    const ParsedAddress parsed = parseNetworkAddress(text);
    if (!parsed.address)
        return noLine(Failure::Unusable, parsed.error, text);
    const LineAddress address
        = LineAddress::server(*parsed.address, quoting::escapedControls(text));
    return { address, {}, address.label() };
}

// A device by its path. A link that points nowhere is named with where it points, so that
// the operator sees which adapter is missing; any other path by the device it comes to.
ResolvedLine deviceLine(const QString& path)
{
    const QFileInfo info(path);
    QString label = resolvedDevice(path);
    if (info.isSymLink() && !info.exists())
        label = QStringLiteral("%1 -> %2")
                    .arg(info.absolutePath() == QDir::currentPath() ? info.fileName() : path,
                        info.symLinkTarget());
    const LineAddress address = LineAddress::serialDevice(path, quoting::escapedControls(label));
    return { address, {}, address.label() };
}

#ifndef Q_OS_WIN
// The network address that a small regular file holds as its first line; empty for any
// other file. A link names a device, so it is not read.
QString addressInFile(const QFileInfo& info)
{
    constexpr qint64 kMostRead = 512;
    QFile file;
    if (info.isSymLink() || openForReading(info.absoluteFilePath(), file) != FileKind::Regular)
        return {};
    const QString line = QString::fromUtf8(file.read(kMostRead)).section(u'\n', 0, 0).trimmed();
    return namesNetworkLine(line) ? line : QString();
}

// The line a COMn file or link in the working folder stands for, if there is one.
std::optional<ResolvedLine> linkedPort(int n, const QDir& workingDir)
{
    const QFileInfo link(workingDir.filePath(QStringLiteral("COM%1").arg(n)));
    if (!link.isSymLink() && !link.exists())
        return std::nullopt;
    if (const QString address = addressInFile(link); !address.isEmpty())
        return serverLine(address);
    return deviceLine(link.absoluteFilePath());
}
#endif

} // namespace

LineAddress::LineAddress(std::variant<QString, NetworkAddress> target, QString label)
    : target_(std::move(target))
    , label_(std::move(label))
{
}

LineAddress LineAddress::serialDevice(QString path, QString label)
{
    return { std::move(path), std::move(label) };
}

LineAddress LineAddress::server(NetworkAddress address, QString label)
{
    return { std::move(address), std::move(label) };
}

bool LineAddress::keepsServerRate() const
{
    return isServer() && serverAddress().protocol == NetworkAddress::Protocol::Raw;
}

PortContext PortContext::current()
{
    return { QDir::current(), [] {
                QStringList locations;
                for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
                    locations << info.systemLocation();
                return orderedSystemPorts(locations);
            } };
}

ResolvedLine resolvePortNumber(int n, const PortContext& context)
{
    const QString name = QStringLiteral("COM%1").arg(n);
    if (n <= 0)
        return noLine(
            Failure::Missing, QStringLiteral("no serial port stands for this number"), name);
#ifdef Q_OS_WIN
    // The system's own COMn, unless a file in the working folder names a server for it; no
    // need to ask the system for its list.
    if (const QString address = portFileAddress(context.workingDir, n); !address.isEmpty())
        return serverLine(address);
    return deviceLine(name);
#else
    if (auto linked = linkedPort(n, context.workingDir))
        return *linked;
    // Asking the system for its serial ports walks /sys: only when no file or link answers.
    const QStringList ports = context.systemPorts ? context.systemPorts() : QStringList();
    if (n > ports.size())
        return noLine(
            Failure::Missing, QStringLiteral("no serial port stands for this number"), name);
    return deviceLine(ports.at(n - 1));
#endif
}

ResolvedLine resolveLine(const QString& given, const PortContext& context)
{
    if (const std::optional<int> n = comNumber(given)) {
        ResolvedLine resolved = resolvePortNumber(*n, context);
        if (!resolved)
            resolved.label = quoting::escapedControls(given);
        return resolved;
    }
    if (given.isEmpty())
        return noLine(Failure::Missing, QStringLiteral("no port is named"), given);
    if (namesNetworkLine(given))
        return serverLine(given);
    return deviceLine(given);
}

QStringList orderedSystemPorts(QStringList systemLocations)
{
    std::ranges::sort(systemLocations,
        [](const QString& a, const QString& b) { return sortKey(a) < sortKey(b); });
    return systemLocations;
}

QString resolvedDevice(const QString& path)
{
#ifdef Q_OS_UNIX
    const QString target = QFileInfo(path).canonicalFilePath();
    return target.isEmpty() ? path : target;
#else
    return path;
#endif
}

} // namespace line
