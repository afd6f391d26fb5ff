#include "file_kind.h"

#include <QFileInfo>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace line {

namespace {

#ifdef Q_OS_UNIX
FileKind kindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISDIR(mode))
        return FileKind::Folder;
    if (S_ISFIFO(mode))
        return FileKind::Fifo;
    if (S_ISCHR(mode))
        return FileKind::CharacterDevice;
    if (S_ISBLK(mode))
        return FileKind::BlockDevice;
    if (S_ISSOCK(mode))
        return FileKind::Socket;
    return FileKind::Other;
}
#endif

} // namespace

QString kindText(FileKind kind)
{
    switch (kind) {
    case FileKind::Missing:
        return QStringLiteral("missing");
    case FileKind::Regular:
        return QStringLiteral("a regular file");
    case FileKind::Folder:
        return QStringLiteral("a folder");
    case FileKind::Fifo:
        return QStringLiteral("a FIFO");
    case FileKind::CharacterDevice:
        return QStringLiteral("a character device");
    case FileKind::BlockDevice:
        return QStringLiteral("a block device");
    case FileKind::Socket:
        return QStringLiteral("a socket");
    case FileKind::Other:
        break;
    }
    return QStringLiteral("no regular file");
}

FileKind kindAt(const QString& path)
{
#ifdef Q_OS_UNIX
    struct stat status { };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return FileKind::Missing;
    return kindOfMode(status.st_mode);
#else
    const QFileInfo info(path);
    return !info.exists() ? FileKind::Missing
        : info.isDir()    ? FileKind::Folder
        : info.isFile()   ? FileKind::Regular
                          : FileKind::Other;
#endif
}

QString linkTarget(const QString& path)
{
    return QFileInfo(path).isSymLink() ? QFileInfo(path).symLinkTarget() : QString();
}

FileKind openForReading(const QString& path, QFile& file, QString* why)
{
#ifdef Q_OS_UNIX
    // O_NONBLOCK: an open of a FIFO would otherwise wait for a writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (why)
            *why = qt_error_string(errno);
        return kindAt(path) == FileKind::Folder ? FileKind::Folder : FileKind::Missing;
    }
    struct stat status { };
    const FileKind kind = ::fstat(fd, &status) == 0 ? kindOfMode(status.st_mode) : FileKind::Other;
    if (kind == FileKind::Folder || !file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle)) {
        ::close(fd);
        return kind == FileKind::Folder ? FileKind::Folder : FileKind::Missing;
    }
    // A regular file reads as it always does; the others keep O_NONBLOCK for a reader that
    // waits on them with a timeout.
    if (kind == FileKind::Regular)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return kind;
#else
    const FileKind kind = kindAt(path);
    if (kind == FileKind::Missing || kind == FileKind::Folder)
        return kind;
    file.setFileName(path);
    if (file.open(QIODevice::ReadOnly))
        return kind;
    if (why)
        *why = file.errorString();
    return FileKind::Missing;
#endif
}

FileKind kindOf(const QFile& file)
{
#ifdef Q_OS_UNIX
    struct stat status { };
    if (::fstat(file.handle(), &status) != 0)
        return FileKind::Other;
    return kindOfMode(status.st_mode);
#else
    return file.isSequential() ? FileKind::Other : FileKind::Regular;
#endif
}

} // namespace line
