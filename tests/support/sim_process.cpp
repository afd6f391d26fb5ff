#include "sim_process.h"

#include <QDeadlineTimer>
#include <QDir>

namespace {

// The sanitizer builds start slowly on a busy machine.
constexpr int kStartTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 5000;

} // namespace

SimProcess::~SimProcess()
{
    stop();
}

bool SimProcess::start(const QString& workDir, const QStringList& args, int port)
{
    const QString link = QStringLiteral("COM%1").arg(port);
    process_.setWorkingDirectory(workDir);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(QStringLiteral(PWM5_SIM_PATH),
        QStringList { QStringLiteral("--port"), QString::number(port) } + args);
    if (!waitForOutput(QStringLiteral("ready %1 -> ").arg(link), kStartTimeoutMs)) {
        stop();
        return false;
    }
    linkPath_ = QDir(workDir).filePath(link);
    return true;
}

void SimProcess::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(kStopTimeoutMs)) {
        process_.kill();
        process_.waitForFinished(kStopTimeoutMs);
    }
    output_ += process_.readAll();
}

QString SimProcess::output()
{
    output_ += process_.readAll();
    return QString::fromLocal8Bit(output_);
}

bool SimProcess::waitForOutput(const QString& text, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        // Looked at before the output, so that the last words of a finished process count.
        const bool running = process_.state() != QProcess::NotRunning;
        if (output().contains(text))
            return true;
        if (!running || deadline.hasExpired())
            return false;
        process_.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
}
