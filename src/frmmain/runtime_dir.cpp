#include "runtime_dir.h"

#include <QDir>
#include <QFile>
#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

void providePrivateRuntimeDir()
{
#ifdef Q_OS_UNIX
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const uid_t uid = ::getuid();
    const passwd* user = ::getpwuid(uid);
    const QString name = user ? QString::fromLocal8Bit(user->pw_name) : QString::number(uid);
    const QByteArray path
        = QFile::encodeName(QDir::tempPath() + QStringLiteral("/runtime-") + name);
    ::mkdir(path.constData(), 0700);
    struct stat status { };
    if (::lstat(path.constData(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != uid
        || (status.st_mode & 0777) != 0700)
        return;
    qputenv("XDG_RUNTIME_DIR", path);
#endif
}
