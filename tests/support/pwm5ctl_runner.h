#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// pwm5ctl as a script runs it, against the module simulator linked as COM1 in a folder of the
// test's own, with -p COM1 -v ahead of the test's arguments (a later -p wins): what it sends
// (its -v trace), what it prints, and its exit status.

struct Run {
    int exitCode = -1; // as a shell reports it: 128 + the signal for a process a signal ended
    QStringList out; // stdout, line by line
    QStringList sent; // the frames of the "send:" lines
    QString error; // stderr but the frame trace
};

// Bound of one call; a passing call ends far sooner.
constexpr int kCallMs = 60000;

Run pwm5ctl(const QString& dir, const QStringList& args, const QByteArray& input = {});

// Whether each line matches the pattern at its place (a whole-line regular expression), and
// there are as many lines as patterns.
bool linesMatch(const QStringList& lines, const QStringList& patterns);

// A pwm5ctl that the test watches while it runs, to act at a point of its work. Killed at the
// end of the test if still running.
class RunningPwm5ctl {
public:
    // Set up the process (an output file, say) through process() before start().
    RunningPwm5ctl() = default;
    ~RunningPwm5ctl();
    RunningPwm5ctl(const RunningPwm5ctl&) = delete;
    RunningPwm5ctl& operator=(const RunningPwm5ctl&) = delete;

    void start(const QString& dir, const QStringList& args);
    QProcess& process() { return process_; }
    // Waits until a whole line of the channel starts with the text; false when the process
    // ends or the time runs out first.
    bool waitForLine(QProcess::ProcessChannel channel, const QString& start, int timeoutMs);
    // Waits for the end; exitCode stays -1 when it does not come within the time.
    Run finish(int timeoutMs);

private:
    QStringList lines(QProcess::ProcessChannel channel);
    void gather();

    QProcess process_;
    QByteArray out_;
    QByteArray err_;
};
