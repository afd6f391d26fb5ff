#include "planted_file.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace testsupport {

namespace {

// The numbers Linux gives /dev/null and /dev/zero.
bool deviceNode(const QString& path, unsigned minor)
{
    return ::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(1, minor)) == 0;
}

} // namespace

bool plant(Planted what, const QString& path)
{
    switch (what) {
    case Planted::Fifo:
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    case Planted::NullDevice:
        return deviceNode(path, 3);
    case Planted::ZeroDevice:
        return deviceNode(path, 5);
    case Planted::LinkToNullDevice:
        return plant(Planted::NullDevice, path + QStringLiteral(".node"))
            && QFile::link(path + QStringLiteral(".node"), path);
    case Planted::DanglingLink:
        return QFile::link(path + QStringLiteral(".gone"), path);
    case Planted::Folder:
        return QDir().mkdir(path);
    }
    return false;
}

} // namespace testsupport
