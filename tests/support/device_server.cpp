#include "device_server.h"
#include "local_ports.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 5000;
constexpr int kAttempts = 3;

} // namespace

DeviceServer::~DeviceServer()
{
    stop();
}

QString DeviceServer::configuration(const QString& device, quint16 rawPort, quint16 rfc2217Port)
{
    return QStringLiteral("connection: &raw\n"
                          "  accepter: tcp,127.0.0.1,%2\n"
                          "  connector: serialdev,%1,9600n81,local\n"
                          "connection: &rfc2217\n"
                          "  accepter: telnet(rfc2217),tcp,127.0.0.1,%3\n"
                          "  connector: serialdev,%1,9600n81,local\n")
        .arg(device)
        .arg(rawPort)
        .arg(rfc2217Port);
}

quint16 DeviceServer::freePort()
{
    return freeLocalPort();
}

bool DeviceServer::start(const QString& workDir, const QString& device)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("ser2net"),
        { QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin") });
    if (program.isEmpty()) {
        error_ = QStringLiteral("ser2net is not installed (scripts/setup.sh installs it)");
        return false;
    }
    // Another program may take a free port before ser2net binds it; then try other ports.
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        rawPort_ = freePort();
        rfc2217Port_ = freePort();
        const QString config = QDir(workDir).filePath(QStringLiteral("ser2net.yaml"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            error_ = QStringLiteral("cannot write ") + config;
            return false;
        }
        file.write(configuration(device, rawPort_, rfc2217Port_).toUtf8());
        file.close();
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(program,
            { QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-u"),
                QStringLiteral("-c"), config, QStringLiteral("-P"),
                QDir(workDir).filePath(QStringLiteral("ser2net.pid")) });
        if (!process_.waitForStarted()) {
            error_ = process_.errorString();
            return false;
        }
        const QDeadlineTimer deadline(kStartTimeoutMs);
        while (process_.state() == QProcess::Running && !listening() && !deadline.hasExpired())
            process_.waitForReadyRead(10);
        if (listening())
            return true;
        stop();
    }
    return false;
}

bool DeviceServer::listening() const
{
    return listensLocally(rawPort_) && listensLocally(rfc2217Port_);
}

void DeviceServer::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(kStopTimeoutMs)) {
        process_.kill();
        process_.waitForFinished();
    }
}

QString DeviceServer::rawAddress() const
{
    return QStringLiteral("tcp:127.0.0.1:%1").arg(rawPort_);
}

QString DeviceServer::rfc2217Address() const
{
    return QStringLiteral("rfc2217:127.0.0.1:%1").arg(rfc2217Port_);
}

QString DeviceServer::output()
{
    return error_ + QString::fromLocal8Bit(process_.readAll());
}
