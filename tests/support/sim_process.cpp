#include "sim_process.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QRegularExpression>

#include <utility>

namespace {

// The sanitizer builds start slowly on a busy machine.
constexpr int kStartTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 5000;

} // namespace

std::optional<SimReadyLine> parseReadyLine(QStringView line)
{
    while (line.endsWith(u'\n') || line.endsWith(u'\r'))
        line.chop(1);
    static const QRegularExpression form(QStringLiteral("^ready (COM[0-9]+) -> (/[^,]+), "));
    const QRegularExpressionMatch match = form.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    return SimReadyLine { match.captured(1), match.captured(2) };
}

SimProcess::SimProcess()
    : SimProcess(QStringLiteral(PWM5_SIM_PATH))
{
}

SimProcess::SimProcess(QString program)
    : program_(std::move(program))
{
}

SimProcess::~SimProcess()
{
    stop();
}

bool SimProcess::start(const QString& workDir, const QStringList& args, int port)
{
    process_.setWorkingDirectory(workDir);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(
        program_, QStringList { QStringLiteral("--port"), QString::number(port) } + args);
    if (!waitForReady(port, kStartTimeoutMs)) {
        stop();
        return false;
    }
    return true;
}

bool SimProcess::waitForReady(int port, int timeoutMs)
{
    const QString link = QStringLiteral("COM%1").arg(port);
    std::optional<SimReadyLine> ready;
    const auto readyLineIn = [&](const QString& out) {
        for (QStringView line : QStringView(out).split(u'\n')) {
            ready = parseReadyLine(line);
            if (ready && ready->link == link)
                return true;
        }
        return false;
    };
    // A ready line read only in part does not count: its device ends at the comma.
    if (!waitUntil(readyLineIn, timeoutMs))
        return false;
    linkPath_ = QDir(process_.workingDirectory()).filePath(ready->link);
    devicePath_ = ready->device;
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
    return waitUntil([&](const QString& out) { return out.contains(text); }, timeoutMs);
}

bool SimProcess::waitUntil(const std::function<bool(const QString&)>& seen, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        // Looked at before the output, so that the last words of a finished process count.
        const bool running = process_.state() != QProcess::NotRunning;
        if (seen(output()))
            return true;
        if (!running || deadline.hasExpired())
            return false;
        process_.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
}
