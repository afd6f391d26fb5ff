#pragma once

#include <QProcess>
#include <QString>

// ser2net, the serial device server, as a child process in front of one serial device (a
// simulator's pseudo-terminal), on 127.0.0.1 only: a raw TCP accepter and an RFC 2217 one, on
// ports free when it starts. Both share the device, so one client at a time holds it.
class DeviceServer {
public:
    DeviceServer() = default;
    ~DeviceServer();
    DeviceServer(const DeviceServer&) = delete;
    DeviceServer& operator=(const DeviceServer&) = delete;

    // Writes the configuration into the folder, starts ser2net and waits until both ports
    // listen; false (with output() saying why) when it does not come up.
    bool start(const QString& workDir, const QString& device);
    // Ends ser2net, which drops its clients.
    void stop();

    QString rawAddress() const; // "tcp:127.0.0.1:PORT"
    QString rfc2217Address() const; // "rfc2217:127.0.0.1:PORT"
    QString output();

    // The configuration that puts the accepters on the ports in front of the device.
    static QString configuration(const QString& device, quint16 rawPort, quint16 rfc2217Port);
    // A TCP port on 127.0.0.1 that nothing listens on as this returns.
    static quint16 freePort();

private:
    bool listening() const;

    QProcess process_;
    QString error_;
    quint16 rawPort_ = 0;
    quint16 rfc2217Port_ = 0;
};
