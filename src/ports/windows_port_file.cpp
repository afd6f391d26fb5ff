#include "windows_port_file.h"

#include "ports/network_address.h"

#include <QByteArray>
#include <QStringDecoder>

#include <windows.h>

#include <string>

namespace line {

namespace {

constexpr DWORD kMostRead = 512;

// "\\?\C:\pwm5\COM3", or "\\?\UNC\server\share\pwm5\COM3" for a folder on a share: a name
// that no device name stands for. Such a name is taken as it is, so it is built whole:
// absolute, back slashes only, no "." or "..". Empty for a folder of no such form.
std::wstring fileSystemName(const QDir& folder, int n)
{
    QString path = QDir::cleanPath(folder.absolutePath());
    if (!path.endsWith(u'/'))
        path += u'/';
    path = QDir::toNativeSeparators(path + QStringLiteral("COM%1").arg(n));
    const bool onDrive
        = path.size() > 3 && path.at(0).isLetter() && path.at(1) == u':' && path.at(2) == u'\\';
    if (onDrive)
        return (QStringLiteral("\\\\?\\") + path).toStdWString();
    if (path.startsWith(QLatin1String("\\\\")) && !path.startsWith(QLatin1String("\\\\?\\"))
        && !path.startsWith(QLatin1String("\\\\.\\")))
        return (QStringLiteral("\\\\?\\UNC\\") + path.sliced(2)).toStdWString();
    return {};
}

// A link, a junction or a mount point leads to another name, which may be a device's. Other
// reparse points (OneDrive's, deduplicated files) are files that hold their own bytes.
bool leadsElsewhere(HANDLE file)
{
    FILE_ATTRIBUTE_TAG_INFO tag {};
    if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag))
        return true;
    if (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return true;
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        && IsReparseTagNameSurrogate(tag.ReparseTag);
}

// The first bytes of the plain file at name; nothing for anything else.
QByteArray plainFileStart(const std::wstring& name)
{
    // Asked before anything is opened: wine gives no attributes for a FIFO or a device that a
    // folder's Unix link leads to, and Windows has none there.
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES
        || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
        return {};
    // FILE_FLAG_OPEN_REPARSE_POINT: a link is opened itself, never what it leads to.
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    QByteArray start;
    if (GetFileType(file) == FILE_TYPE_DISK && !leadsElsewhere(file)) {
        start.resize(kMostRead);
        DWORD got = 0;
        if (!ReadFile(file, start.data(), kMostRead, &got, nullptr))
            got = 0;
        start.truncate(static_cast<qsizetype>(got));
    }
    CloseHandle(file);
    return start;
}

} // namespace

QString portFileAddress(const QDir& folder, int n)
{
    const std::wstring name = fileSystemName(folder, n);
    if (name.empty())
        return {};
    // UTF-8, or what a byte-order mark names: Notepad may write one, PowerShell's > writes
    // UTF-16.
    const QByteArray start = plainFileStart(name);
    QStringDecoder decode(
        QStringConverter::encodingForData(start).value_or(QStringConverter::Utf8));
    const QString line = QString(decode(start)).section(u'\n', 0, 0).trimmed();
    return namesNetworkLine(line) ? line : QString();
}

} // namespace line
