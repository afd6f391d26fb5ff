#include "port_name.h"

#include "link/file_kind.h"
#include "link/network_address.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>
#include <tuple>

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

} // namespace

QStringList orderedSystemPorts(QStringList systemLocations)
{
    std::ranges::sort(systemLocations,
        [](const QString& a, const QString& b) { return sortKey(a) < sortKey(b); });
    return systemLocations;
}

#ifndef Q_OS_WIN
namespace {

// The network address that a small regular file holds as its one line; empty for any other
// file. A link names a device, so it is not read.
QString addressInFile(const QFileInfo& info)
{
    constexpr qint64 kMostRead = 512;
    QFile file;
    if (info.isSymLink() || openForReading(info.absoluteFilePath(), file) != FileKind::Regular)
        return {};
    const QString line = QString::fromUtf8(file.read(kMostRead)).section(u'\n', 0, 0).trimmed();
    return namesNetworkLine(line) ? line : QString();
}

// The device a COMn file or link in the working directory stands for; empty when there is none.
QString linkedPort(int n, const QDir& workingDir)
{
    const QFileInfo link(workingDir.filePath(QStringLiteral("COM%1").arg(n)));
    if (!link.isSymLink() && !link.exists())
        return {};
    if (const QString address = addressInFile(link); !address.isEmpty())
        return address;
    // Lock files are named after the path, so open the device itself: another program that
    // opens /dev/ttyUSB0 then sees our lock. A dangling link stays as it is and fails to open
    // as a missing device.
    const QString device = link.canonicalFilePath();
    return device.isEmpty() ? link.absoluteFilePath() : device;
}

} // namespace
#endif

QString resolvePort(int n, const QDir& workingDir, const QStringList& orderedPorts)
{
    if (n <= 0)
        return {};
#ifdef Q_OS_WIN
    Q_UNUSED(workingDir);
    Q_UNUSED(orderedPorts);
    return QStringLiteral("COM%1").arg(n);
#else
    if (const QString linked = linkedPort(n, workingDir); !linked.isEmpty())
        return linked;
    return n <= orderedPorts.size() ? orderedPorts.at(n - 1) : QString();
#endif
}

QString resolvePort(int n)
{
#ifdef Q_OS_WIN
    // The system's own COMn: no need to ask it for its list.
    return resolvePort(n, QDir::current(), {});
#else
    // Asking the system for its serial ports walks /sys; a link here makes that needless.
    if (const QString linked = n > 0 ? linkedPort(n, QDir::current()) : QString();
        !linked.isEmpty())
        return linked;
    QStringList locations;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        locations << info.systemLocation();
    return resolvePort(n, QDir::current(), orderedSystemPorts(locations));
#endif
}

QString deviceLabel(const QString& device)
{
    const QFileInfo info(device);
    if (!info.isSymLink())
        return device;
    const QString name = info.absolutePath() == QDir::currentPath() ? info.fileName() : device;
    return QStringLiteral("%1 -> %2").arg(name, info.symLinkTarget());
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
