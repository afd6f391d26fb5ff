#include "hostile_server_process.h"

#include <QDeadlineTimer>
#include <QFile>

namespace {

constexpr int kStartMs = 10000;

} // namespace

HostileServer::~HostileServer()
{
    process_.kill();
    process_.waitForFinished();
}

bool HostileServer::start(const QStringList& arguments)
{
    process_.start(QStringLiteral(HOSTILE_SERVER_PATH), arguments);
    return waitForLine(
        [this](const QString& line) {
            if (line.startsWith(QLatin1String("listening ")))
                port_ = line.section(u' ', 1).toUShort();
            return port_ != 0;
        },
        kStartMs);
}

QString HostileServer::rfc2217Address() const
{
    return QStringLiteral("rfc2217:127.0.0.1:%1").arg(port_);
}

QString HostileServer::rawAddress() const
{
    return QStringLiteral("tcp:127.0.0.1:%1").arg(port_);
}

bool HostileServer::waitForClient(int timeoutMs)
{
    return waitForLine([](const QString& line) { return line == u"accepted"; }, timeoutMs);
}

bool HostileServer::waitForSent(int mebibytes, int timeoutMs)
{
    return sent_ >= mebibytes
        || waitForLine([mebibytes, this](const QString&) { return sent_ >= mebibytes; }, timeoutMs);
}

QString HostileServer::output()
{
    waitForLine([](const QString&) { return false; }, 0);
    return output_;
}

int HostileServer::sentSoFar()
{
    waitForLine([](const QString&) { return false; }, 0);
    return sent_;
}

bool HostileServer::waitForLine(const std::function<bool(const QString&)>& wanted, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        while (process_.canReadLine()) {
            const QString line = QString::fromUtf8(process_.readLine()).trimmed();
            output_ += line + u'\n';
            if (line.startsWith(QLatin1String("sent ")))
                sent_ = line.section(u' ', 1).toInt();
            if (wanted(line))
                return true;
        }
        if (process_.state() == QProcess::NotRunning || deadline.hasExpired() || timeoutMs == 0)
            return false;
        process_.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
}

long residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}
