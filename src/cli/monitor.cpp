// monitor: the module read again and again, with what changed and how the line fared.

#include "commands.h"
#include "device/parameter_value.h"
#include "device/requests.h"
#include "reading_output.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace cli {

namespace {

struct Statistics {
    int requests = 0;
    int ok = 0;
    // Counted in the order of line::kFailureKinds.
    std::array<int, line::kFailureKinds.size()> failures {};
    std::vector<double> roundTrips;

    void count(const Answer& answer)
    {
        ++requests;
        if (answer.ok()) {
            ++ok;
            roundTrips.push_back(answer.roundTripMs);
            return;
        }
        for (std::size_t i = 0; i < failures.size(); ++i)
            if (line::kFailureKinds[i].failure == answer.failure)
                ++failures[i];
    }
};

struct Spread {
    double min;
    double median;
    double max;
};

std::optional<Spread> spreadOf(std::vector<double> values)
{
    if (values.empty())
        return std::nullopt;
    std::ranges::sort(values);
    const std::size_t middle = values.size() / 2;
    const double median
        = values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    return Spread { values.front(), median, values.back() };
}

double tenths(double ms)
{
    return std::round(ms * 10) / 10;
}

QJsonObject statisticsJson(const Statistics& s)
{
    QJsonObject statistics { { QStringLiteral("requests"), s.requests },
        { QStringLiteral("ok"), s.ok } };
    for (std::size_t i = 0; i < s.failures.size(); ++i)
        statistics.insert(QLatin1String(line::kFailureKinds[i].jsonName), s.failures[i]);
    QJsonValue roundTrip = QJsonValue::Null;
    if (const auto spread = spreadOf(s.roundTrips))
        roundTrip = QJsonObject { { QStringLiteral("min"), tenths(spread->min) },
            { QStringLiteral("median"), tenths(spread->median) },
            { QStringLiteral("max"), tenths(spread->max) } };
    statistics.insert(QStringLiteral("round_trip_ms"), roundTrip);
    return statistics;
}

// "requests 10, ok 8, no reply 1, bad CRC 1; round trip min ...": the failures that came.
QString statisticsLine(const Statistics& s)
{
    QStringList parts { QStringLiteral("requests %1").arg(s.requests),
        QStringLiteral("ok %1").arg(s.ok) };
    for (std::size_t i = 0; i < s.failures.size(); ++i)
        if (s.failures[i] > 0)
            parts << QStringLiteral("%1 %2")
                         .arg(QLatin1String(line::kFailureKinds[i].label))
                         .arg(s.failures[i]);
    QString text = parts.join(QStringLiteral(", "));
    if (const auto spread = spreadOf(s.roundTrips))
        text += QStringLiteral("; round trip min %1, median %2, max %3 ms")
                    .arg(spread->min, 0, 'f', 1)
                    .arg(spread->median, 0, 'f', 1)
                    .arg(spread->max, 0, 'f', 1);
    return text;
}

void printStatistics(const Invocation& call, Console& console, const Statistics& s)
{
    if (call.json)
        console.print(QJsonObject { { QStringLiteral("statistics"), statisticsJson(s) } });
    else
        console.out << statisticsLine(s) << Qt::endl;
}

// "ch1.output on  ch1.duty 25.6 %": what differs from the last good read, or everything.
QString changes(const device::Reading& reading, const std::optional<device::Reading>& last)
{
    QStringList changed;
    for (const device::ParameterId id : printOrder()) {
        const device::Units units = reading.values[device::indexOf(id)];
        if (!last || last->values[device::indexOf(id)] != units)
            changed << device::latin1(device::parameter(id).name) + u' '
                    + shownValue(device::parameter(id), units);
    }
    return changed.isEmpty() ? QStringLiteral("unchanged") : changed.join(QStringLiteral("  "));
}

// One reading, or what went wrong with it.
void printReading(const Invocation& call, Console& console, const Answer& answer,
    std::optional<device::Reading>& last)
{
    const QString time = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
    if (!answer.ok()) {
        if (call.json)
            console.print(QJsonObject { { QStringLiteral("time"), time },
                { QStringLiteral("ok"), false }, { QStringLiteral("error"), answer.error } });
        else
            console.out << time << "  " << answer.error << Qt::endl;
        return;
    }
    const device::Reading reading = device::decodedReply(answer.reply, {});
    if (call.json) {
        QJsonObject object = readingJson(call.address, reading);
        object.insert(QStringLiteral("time"), time);
        object.insert(QStringLiteral("ok"), true);
        console.print(object);
    } else {
        console.out << time << "  " << changes(reading, last) << Qt::endl;
    }
    last = reading;
}

} // namespace

int monitorCommand(const Invocation& call, Console& console)
{
    if (!call.arguments.isEmpty())
        return console.fail(kWrongCall, QStringLiteral("monitor takes no arguments"));
    Master master(call.timeoutMs, call.verbose, console.err);
    if (const int status = openLine(call, master, console, call.line.baud))
        return status;

    Statistics statistics;
    std::optional<device::Reading> last;
    std::optional<Answer> lost;
    QElapsedTimer period;
    for (int n = 0; call.count == 0 || n < call.count; ++n) {
        if (n > 0 && !master.pause(call.intervalMs - static_cast<int>(period.elapsed())))
            break;
        period.start();
        const Answer answer
            = master.ask(device::readAllRequest(static_cast<std::uint8_t>(call.address)));
        if (answer.interrupted)
            break;
        statistics.count(answer);
        printReading(call, console, answer, last);
        // A device that has gone does not come back by itself.
        if (answer.failure == line::Failure::Port) {
            lost = answer;
            break;
        }
    }
    printStatistics(call, console, statistics);
    if (lost)
        return console.fail(*lost);
    return statistics.ok == statistics.requests ? kDone : kModuleFault;
}

} // namespace cli
