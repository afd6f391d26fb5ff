// monitor: the module read again and again, with what changed and how the line fared.

#include "commands.h"
#include "device/parameter_value.h"
#include "device/requests.h"
#include "reading_output.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <optional>
#include <vector>

namespace cli {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onStop(int)
{
    stopRequested = 1;
}

struct Statistics {
    int requests = 0;
    int ok = 0;
    int noReply = 0;
    int badCrc = 0;
    int exception = 0;
    int other = 0;
    std::vector<double> roundTrips;

    void count(Failure failure, double roundTripMs)
    {
        ++requests;
        switch (failure) {
        case Failure::None:
            ++ok;
            roundTrips.push_back(roundTripMs);
            break;
        case Failure::NoReply:
            ++noReply;
            break;
        case Failure::BadCrc:
            ++badCrc;
            break;
        case Failure::Exception:
            ++exception;
            break;
        case Failure::Other:
            ++other;
            break;
        }
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

void printStatistics(const Invocation& call, Console& console, const Statistics& s)
{
    const auto spread = spreadOf(s.roundTrips);
    if (call.json) {
        QJsonValue roundTrip = QJsonValue::Null;
        if (spread)
            roundTrip = QJsonObject { { QStringLiteral("min"), tenths(spread->min) },
                { QStringLiteral("median"), tenths(spread->median) },
                { QStringLiteral("max"), tenths(spread->max) } };
        const QJsonObject statistics { { QStringLiteral("requests"), s.requests },
            { QStringLiteral("ok"), s.ok }, { QStringLiteral("no_reply"), s.noReply },
            { QStringLiteral("bad_crc"), s.badCrc }, { QStringLiteral("exception"), s.exception },
            { QStringLiteral("other"), s.other }, { QStringLiteral("round_trip_ms"), roundTrip } };
        console.print(QJsonObject { { QStringLiteral("statistics"), statistics } });
        return;
    }
    console.out << QStringLiteral(
        "requests %1, ok %2, no reply %3, bad CRC %4, exception %5, other %6")
                       .arg(s.requests)
                       .arg(s.ok)
                       .arg(s.noReply)
                       .arg(s.badCrc)
                       .arg(s.exception)
                       .arg(s.other);
    if (spread)
        console.out << QStringLiteral("; round trip min %1, median %2, max %3 ms")
                           .arg(spread->min, 0, 'f', 1)
                           .arg(spread->median, 0, 'f', 1)
                           .arg(spread->max, 0, 'f', 1);
    console.out << Qt::endl;
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

// Sleeps until the period is over or a stop is asked for.
void waitOut(const QElapsedTimer& period, int intervalMs)
{
    while (!stopRequested && period.elapsed() < intervalMs)
        QThread::msleep(
            static_cast<unsigned long>(std::min<qint64>(20, intervalMs - period.elapsed())));
}

} // namespace

int monitorCommand(const Invocation& call, Console& console)
{
    if (!call.arguments.isEmpty())
        return console.fail(kWrongCall, QStringLiteral("monitor takes no arguments"));
    Master master(call.timeoutMs, call.verbose, console.err);
    if (const int status = openLine(call, master, console, call.line.baud))
        return status;
    std::signal(SIGINT, onStop);
    std::signal(SIGTERM, onStop);

    Statistics statistics;
    std::optional<device::Reading> last;
    QElapsedTimer period;
    for (int n = 0; !stopRequested && (call.count == 0 || n < call.count); ++n) {
        if (n > 0)
            waitOut(period, call.intervalMs);
        if (stopRequested)
            break;
        period.start();
        const Answer answer
            = master.ask(device::readAllRequest(static_cast<std::uint8_t>(call.address)));
        const QString time = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
        const Failure failure = failureOf(answer);
        statistics.count(failure, answer.roundTripMs);
        if (failure != Failure::None) {
            const QString why = problem(answer, call.timeoutMs);
            if (call.json)
                console.print(QJsonObject { { QStringLiteral("time"), time },
                    { QStringLiteral("ok"), false }, { QStringLiteral("error"), why } });
            else
                console.out << time << "  " << why << Qt::endl;
            continue;
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
    printStatistics(call, console, statistics);
    return statistics.ok == statistics.requests ? kDone : kModuleFault;
}

} // namespace cli
