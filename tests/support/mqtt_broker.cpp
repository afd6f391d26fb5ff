#include "mqtt_broker.h"
#include "local_ports.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include <unistd.h>

namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 5000;
constexpr int kToolTimeoutMs = 30000;
constexpr int kAttempts = 3;

// The files the broker reads and writes, in the test's folder.
constexpr char kConfigFile[] = "mqtt-broker.conf";
constexpr char kPasswordFile[] = "mqtt-passwords";
constexpr char kLogFile[] = "mqtt-broker.log";
constexpr char kOpensslConfig[] = "mqtt-openssl.cnf";
constexpr char kCaKey[] = "mqtt-ca.key";
constexpr char kCaCert[] = "mqtt-ca.pem";
constexpr char kOtherCaKey[] = "mqtt-other-ca.key";
constexpr char kOtherCaCert[] = "mqtt-other-ca.pem";
constexpr char kServerKey[] = "mqtt-server.key";
constexpr char kServerRequest[] = "mqtt-server.csr";
constexpr char kServerCert[] = "mqtt-server.pem";

// The extensions of the two kinds of certificate the fixture makes. A client checks the
// server's name against subjectAltName alone, so the address and the name it may be reached
// by are both there.
constexpr char kOpensslSections[] = "[req]\n"
                                    "distinguished_name = dn\n"
                                    "prompt = no\n"
                                    "[dn]\n"
                                    "CN = pwm5 tests\n"
                                    "[ca]\n"
                                    "basicConstraints = critical, CA:TRUE\n"
                                    "keyUsage = critical, keyCertSign, cRLSign\n"
                                    "subjectKeyIdentifier = hash\n"
                                    "[server]\n"
                                    "basicConstraints = critical, CA:FALSE\n"
                                    "keyUsage = critical, digitalSignature\n"
                                    "extendedKeyUsage = serverAuth\n"
                                    "subjectAltName = IP:127.0.0.1, DNS:localhost\n"
                                    "authorityKeyIdentifier = keyid\n";

QString filePath(const QString& dir, const char* name)
{
    return QDir(dir).filePath(QString::fromLatin1(name));
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(content) == content.size();
}

// P-256 keys: made in milliseconds, where RSA would take a noticeable part of a second.
QStringList newKey(const QString& keyFile)
{
    return { QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
        QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
        QStringLiteral("-keyout"), keyFile };
}

} // namespace

MqttBroker::~MqttBroker()
{
    stop();
}

QString MqttBroker::configuration(const QString& workDir, quint16 port, quint16 tlsPort)
{
    QString config = QStringLiteral("persistence false\n"
                                    "log_dest stderr\n"
                                    "log_type error\n"
                                    "log_type warning\n"
                                    "log_type notice\n"
                                    "log_type information\n"
                                    "log_timestamp_format %H:%M:%S\n"
                                    "allow_anonymous false\n"
                                    "password_file %1\n"
                                    "listener %2 127.0.0.1\n"
                                    "listener %3 127.0.0.1\n"
                                    "cafile %4\n"
                                    "certfile %5\n"
                                    "keyfile %6\n")
                         .arg(filePath(workDir, kPasswordFile))
                         .arg(port)
                         .arg(tlsPort)
                         .arg(filePath(workDir, kCaCert), filePath(workDir, kServerCert),
                             filePath(workDir, kServerKey));
    // Started as root, mosquitto becomes the user "mosquitto" before it opens its files, and
    // that user can neither enter a test's folder (QTemporaryDir makes it 0700) nor read the
    // key (0600); "user root" keeps it root. Started by anyone else, it stays who it is.
    if (geteuid() == 0)
        config += QStringLiteral("user root\n");
    return config;
}

QString MqttBroker::caFile() const
{
    return filePath(dir_, kCaCert);
}

QString MqttBroker::otherCaFile() const
{
    return filePath(dir_, kOtherCaCert);
}

// Runs a tool to its end; false, with what it said, when it fails.
bool MqttBroker::run(const QString& program, const QStringList& args)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.setWorkingDirectory(dir_);
    tool.start(program, args);
    if (!tool.waitForStarted()) {
        error_ = QStringLiteral("%1: %2 (scripts/setup.sh installs it)\n")
                     .arg(program, tool.errorString());
        return false;
    }
    const bool ended = tool.waitForFinished(kToolTimeoutMs);
    if (ended && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0)
        return true;
    error_ = QStringLiteral("%1 %2 failed:\n%3")
                 .arg(program, args.join(' '), QString::fromLocal8Bit(tool.readAll()));
    return false;
}

// The password file, the two CAs, and the server's key and certificate signed by the first.
bool MqttBroker::makeFiles()
{
    const QString openssl = QStringLiteral(PWM5_OPENSSL);
    const QString opensslConfig = filePath(dir_, kOpensslConfig);
    if (!writeFile(opensslConfig, kOpensslSections)) {
        error_ = QStringLiteral("cannot write ") + opensslConfig;
        return false;
    }
    const QStringList request = { QStringLiteral("req"), QStringLiteral("-config"), opensslConfig };
    const QStringList days = { QStringLiteral("-days"), QStringLiteral("30") };
    const auto selfSigned = [&](const char* key, const char* cert, const QString& name) {
        return run(openssl,
            request + newKey(filePath(dir_, key)) + days
                + QStringList { QStringLiteral("-x509"), QStringLiteral("-extensions"),
                    QStringLiteral("ca"), QStringLiteral("-subj"), QStringLiteral("/CN=") + name,
                    QStringLiteral("-out"), filePath(dir_, cert) });
    };
    QFile::remove(filePath(dir_, kPasswordFile));
    return run(QStringLiteral(PWM5_MOSQUITTO_PASSWD),
               { QStringLiteral("-c"), QStringLiteral("-b"), filePath(dir_, kPasswordFile),
                   QString::fromLatin1(kUser), QString::fromLatin1(kPassword) })
        && selfSigned(kCaKey, kCaCert, QStringLiteral("pwm5 test CA"))
        && selfSigned(kOtherCaKey, kOtherCaCert, QStringLiteral("pwm5 unrelated CA"))
        && run(openssl,
            request + newKey(filePath(dir_, kServerKey))
                + QStringList { QStringLiteral("-new"), QStringLiteral("-subj"),
                    QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-out"),
                    filePath(dir_, kServerRequest) })
        && run(openssl,
            QStringList { QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                filePath(dir_, kServerRequest), QStringLiteral("-CA"), filePath(dir_, kCaCert),
                QStringLiteral("-CAkey"), filePath(dir_, kCaKey), QStringLiteral("-set_serial"),
                QStringLiteral("2"), QStringLiteral("-extfile"), opensslConfig,
                QStringLiteral("-extensions"), QStringLiteral("server"), QStringLiteral("-out"),
                filePath(dir_, kServerCert) }
                + days);
}

bool MqttBroker::start(const QString& workDir)
{
    stop();
    dir_ = workDir;
    error_.clear();
    if (!QFileInfo(QStringLiteral(PWM5_MOSQUITTO)).isExecutable()) {
        error_ = QStringLiteral(PWM5_MOSQUITTO " is not installed (scripts/setup.sh installs it)");
        return false;
    }
    if (!makeFiles())
        return false;
    // Another program may take a free port before the broker binds it; then try other ports.
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        port_ = freeLocalPort();
        tlsPort_ = freeLocalPort();
        const QString config = filePath(dir_, kConfigFile);
        if (!writeFile(config, (configuration(dir_, port_, tlsPort_) + extra_).toUtf8())) {
            error_ = QStringLiteral("cannot write ") + config;
            return false;
        }
        if (launch())
            return true;
    }
    return false;
}

// Starts the broker on the configuration in the folder and waits until both ports listen.
// Its output goes to a file, where it never fills a pipe that nobody reads during a long test.
bool MqttBroker::launch()
{
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(filePath(dir_, kLogFile), QIODevice::Append);
    process_.setWorkingDirectory(dir_);
    process_.start(
        QStringLiteral(PWM5_MOSQUITTO), { QStringLiteral("-c"), filePath(dir_, kConfigFile) });
    if (!process_.waitForStarted()) {
        error_ = process_.errorString();
        return false;
    }
    const auto listening = [this] { return listensLocally(port_) && listensLocally(tlsPort_); };
    // The broker's end, which ends the wait, is the only event besides the ports listening.
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!listening() && !deadline.hasExpired()) {
        if (process_.waitForFinished(10)) {
            error_ = QStringLiteral("mosquitto ended with status %1\n").arg(process_.exitCode());
            return false;
        }
    }
    if (listening())
        return true;
    error_ = QStringLiteral("mosquitto did not listen on ports %1 and %2 within %3 ms\n")
                 .arg(port_)
                 .arg(tlsPort_)
                 .arg(kStartTimeoutMs);
    stop();
    return false;
}

bool MqttBroker::restart()
{
    stop();
    error_.clear();
    return launch();
}

void MqttBroker::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(kStopTimeoutMs))
        kill();
}

void MqttBroker::kill()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.kill();
    process_.waitForFinished();
}

QString MqttBroker::log() const
{
    QFile file(filePath(dir_, kLogFile));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

QString MqttBroker::output() const
{
    return error_ + log();
}

bool MqttBroker::waitForOutput(const QString& text, int timeoutMs) const
{
    return waitForOutput(
        [&text](const QString& written) { return written.contains(text); }, timeoutMs);
}

// The broker writes its log to a file: the wait is for the file's next change.
bool MqttBroker::waitForOutput(const std::function<bool(const QString&)>& seen, int timeoutMs) const
{
    QFileSystemWatcher watcher({ filePath(dir_, kLogFile) });
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, &loop, &QEventLoop::quit);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    bool held = false;
    while (!(held = seen(log())) && deadline.isActive())
        loop.exec();
    return held;
}
