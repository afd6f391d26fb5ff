#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The module simulator pwm5-sim as a child process with its COM<n> link in a working folder.
class SimProcess {
public:
    SimProcess() = default;
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts the simulator and waits until its link exists; false (with the output kept) when
    // it does not come up within a few seconds.
    bool start(const QString& workDir, const QStringList& args, int port = 1);
    // Stops the simulator with SIGTERM, which also removes its link.
    void stop();

    QString linkPath() const { return linkPath_; }
    // Everything the simulator printed so far: the ready line, one line per exchange, tables.
    QString output();
    // Waits until the output contains the text; false when it does not within the time.
    bool waitForOutput(const QString& text, int timeoutMs = 3000);
    QProcess& process() { return process_; }

private:
    QProcess process_;
    QString linkPath_;
    QByteArray output_;
};
