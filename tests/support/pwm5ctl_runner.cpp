#include "pwm5ctl_runner.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

namespace {

void startIn(QProcess& process, const QString& dir, const QStringList& args)
{
    process.setWorkingDirectory(dir);
    process.start(QStringLiteral(PWM5CTL_PATH), QStringList { "-p", "COM1", "-v" } + args);
}

int shellStatus(const QProcess& process)
{
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode()
                                                        : 128 + process.exitCode();
}

Run runOf(int exitCode, const QByteArray& out, const QByteArray& err)
{
    Run run;
    run.exitCode = exitCode;
    run.out = QString::fromUtf8(out).split(u'\n', Qt::SkipEmptyParts);
    QStringList errors;
    for (const QString& line : QString::fromUtf8(err).split(u'\n')) {
        if (line.startsWith(QLatin1String("send: ")))
            run.sent << line.mid(6);
        else if (!line.isEmpty() && !line.startsWith(QLatin1String("recv: ")))
            errors << line;
    }
    run.error = errors.join(u'\n');
    return run;
}

} // namespace

bool linesMatch(const QStringList& lines, const QStringList& patterns)
{
    if (lines.size() != patterns.size())
        return false;
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (!QRegularExpression(QRegularExpression::anchoredPattern(patterns[i]))
                 .match(lines[i])
                 .hasMatch())
            return false;
    return true;
}

Run pwm5ctl(const QString& dir, const QStringList& args, const QByteArray& input)
{
    QProcess process;
    startIn(process, dir, args);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(kCallMs)) {
        process.kill();
        process.waitForFinished();
        Run run;
        run.error = QStringLiteral("(did not finish)");
        return run;
    }
    return runOf(
        shellStatus(process), process.readAllStandardOutput(), process.readAllStandardError());
}

// Ended as a service is, by SIGTERM, so that it closes its port and takes its lock file away:
// a lock left by a killed process is taken for live when another pwm5ctl gets its process id,
// and the next test to get that pseudo-terminal would find its port in use.
RunningPwm5ctl::~RunningPwm5ctl()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(kCallMs)) {
        process_.kill();
        process_.waitForFinished();
    }
}

void RunningPwm5ctl::start(const QString& dir, const QStringList& args)
{
    startIn(process_, dir, args);
    process_.closeWriteChannel();
}

void RunningPwm5ctl::gather()
{
    out_ += process_.readAllStandardOutput();
    err_ += process_.readAllStandardError();
}

QStringList RunningPwm5ctl::lines(QProcess::ProcessChannel channel)
{
    QStringList whole
        = QString::fromUtf8(channel == QProcess::StandardOutput ? out_ : err_).split(u'\n');
    whole.removeLast(); // the line still being written, or the empty rest after the last
    return whole;
}

bool RunningPwm5ctl::waitForLine(
    QProcess::ProcessChannel channel, const QString& start, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    process_.setReadChannel(channel);
    for (;;) {
        // Looked at before the output, so that the last words of a finished process count.
        const bool running = process_.state() != QProcess::NotRunning;
        gather();
        for (const QString& line : lines(channel))
            if (line.startsWith(start))
                return true;
        if (!running || deadline.hasExpired())
            return false;
        process_.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
}

Run RunningPwm5ctl::finish(int timeoutMs)
{
    const bool ended = process_.waitForFinished(timeoutMs);
    gather();
    return runOf(ended ? shellStatus(process_) : -1, out_, err_);
}
