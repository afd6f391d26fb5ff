#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>

// What pwm5-sim prints once its link is up, "ready COM1 -> /dev/pts/3, slave 1 at 9600 baud":
// the link's name in its folder and the pseudo-terminal the link points to.
struct SimReadyLine {
    QString link;
    QString device;
};

// The parts of a ready line (its line end may be there); nullopt for any other line.
std::optional<SimReadyLine> parseReadyLine(QStringView line);

// The module simulator pwm5-sim as a child process with its COM<n> link in a working folder.
class SimProcess {
public:
    // The simulator this tree builds.
    SimProcess();
    explicit SimProcess(QString program);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts the simulator and waits for its ready line; false (with the output kept) when it
    // does not come up within a few seconds.
    bool start(const QString& workDir, const QStringList& args, int port = 1);
    // Waits for the ready line of the simulator started in process() as COM<port>; false when
    // the simulator ends, or the time passes, without it.
    bool waitForReady(int port, int timeoutMs);
    // Stops the simulator with SIGTERM, which also removes its link.
    void stop();

    QString linkPath() const { return linkPath_; }
    // The pseudo-terminal the ready line named.
    QString devicePath() const { return devicePath_; }
    // Everything the simulator printed so far: the ready line, one line per exchange, tables.
    QString output();
    // Waits until the output contains the text; false when it does not within the time.
    bool waitForOutput(const QString& text, int timeoutMs = 3000);
    // Waits until the predicate holds for the whole output (a count of lines, say); false when
    // it does not within the time, or the simulator ends first.
    bool waitUntil(const std::function<bool(const QString&)>& seen, int timeoutMs);
    QProcess& process() { return process_; }

private:
    QString program_;
    QProcess process_;
    QString linkPath_;
    QString devicePath_;
    QByteArray output_;
};
