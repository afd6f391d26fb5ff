#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

// tests/support/hostile_server.cpp as a child process: a device server that misbehaves in the
// way its mode names, on 127.0.0.1.
class HostileServer {
public:
    HostileServer() = default;
    ~HostileServer();
    HostileServer(const HostileServer&) = delete;
    HostileServer& operator=(const HostileServer&) = delete;

    // Starts it ("do-flood", or "slow" with the device) and waits until it listens.
    bool start(const QStringList& arguments);
    // "rfc2217:127.0.0.1:PORT", or the raw kind.
    QString rfc2217Address() const;
    QString rawAddress() const;
    // Waits until it has taken a client.
    bool waitForClient(int timeoutMs);
    // Waits until a flood has sent that many MiB since it began; false when it ends first.
    bool waitForSent(int mebibytes, int timeoutMs);
    // The MiB sent so far, read without waiting: for a test whose own event loop must run
    // meanwhile (a window that reads the flood).
    int sentSoFar();
    // What it printed so far.
    QString output();

private:
    // Reads its lines until one is wanted; false when it ends or the time runs out first.
    bool waitForLine(const std::function<bool(const QString&)>& wanted, int timeoutMs);

    QProcess process_;
    QString output_;
    quint16 port_ = 0;
    int sent_ = 0;
};

// Resident memory of a running process, in KiB; -1 when it cannot be read.
long residentKiB(qint64 pid);
