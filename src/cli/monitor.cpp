// monitor: the module read again and again, with what changed and how the line fared.

#include "apply_file.h"
#include "commands.h"
#include "device/parameter_value.h"
#include "device/requests.h"
#include "modules.h"
#include "reading_output.h"
#include "text/quoted_text.h"

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
    // Counted in the order of line::kFailureKinds, by the kinds a request meets: a line that
    // fails in any way is counted as its port.
    std::array<int, line::kRequestFailureCount> failures {};
    std::vector<double> roundTrips;

    void count(const Answer& answer)
    {
        ++requests;
        if (answer.ok()) {
            ++ok;
            roundTrips.push_back(answer.roundTripMs);
            return;
        }
        const line::Failure kind
            = line::isLineFailure(answer.failure) ? line::Failure::Lost : answer.failure;
        for (std::size_t i = 0; i < failures.size(); ++i)
            if (line::kFailureKinds[i].failure == kind)
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

// One module's share of a monitor: what its reads came to, and its last good reading.
struct Watched {
    int address;
    Statistics statistics;
    std::optional<device::Reading> last;
};

void printStatistics(const Invocation& call, Console& console, const Watched& m)
{
    if (call.json)
        console.print(QJsonObject { { QStringLiteral("address"), m.address },
            { QStringLiteral("statistics"), statisticsJson(m.statistics) },
            { QStringLiteral("time"), timeNow() } });
    else if (call.csv || severalModules(call))
        (call.csv ? console.err : console.out)
            << "module " << m.address << ": " << statisticsLine(m.statistics) << Qt::endl;
    else
        console.out << statisticsLine(m.statistics) << Qt::endl;
}

// The parameters of a CSV row after time, address and ok: the supply, then what apply writes.
const std::vector<device::ParameterId>& csvParameters()
{
    static const auto ids = [] {
        std::vector<device::ParameterId> list { device::ParameterId::SupplyVoltage };
        for (const device::ParameterId id : printOrder())
            if (writable(device::parameter(id)))
                list.push_back(id);
        return list;
    }();
    return ids;
}

QString csvHeader()
{
    QStringList columns { "time", "address", "ok" };
    for (const device::ParameterId id : csvParameters())
        columns << quoting::latin1(device::parameter(id).name);
    return columns.join(u',');
}

QString csvRow(const QString& time, int address, const std::optional<device::Reading>& reading)
{
    QStringList cells { time, QString::number(address),
        reading ? QStringLiteral("true") : QStringLiteral("false") };
    for (const device::ParameterId id : csvParameters()) {
        if (!reading) {
            cells << QString();
            continue;
        }
        const device::Parameter& p = device::parameter(id);
        const device::Units units = reading->values[device::indexOf(id)];
        cells << (p.kind == device::Kind::Switch
                ? QString::fromLatin1(units == 1 ? "true" : "false")
                : device::valueText(p, units));
    }
    return cells.join(u',');
}

// What differs from the last good reading, or everything: "ch1.output on  ch1.duty 25.6 %".
QStringList changes(const device::Reading& reading, const std::optional<device::Reading>& last)
{
    QStringList changed;
    for (const device::ParameterId id : printOrder()) {
        const device::Units units = reading.values[device::indexOf(id)];
        if (!last || last->values[device::indexOf(id)] != units)
            changed << quoting::latin1(device::parameter(id).name) + u' '
                    + shownValue(device::parameter(id), units);
    }
    return changed;
}

// One module's reading of a round, or what went wrong with it.
void printReading(const Invocation& call, Console& console, const Answer& answer, Watched& m)
{
    const QString time = timeNow();
    const QString module
        = severalModules(call) ? QStringLiteral("module %1  ").arg(m.address) : QString();
    if (!answer.ok()) {
        if (call.csv) {
            console.out << csvRow(time, m.address, std::nullopt) << Qt::endl;
            console.err << "pwm5ctl: " << time << "  " << module << answer.error << Qt::endl;
        } else if (call.json) {
            QJsonObject object = moduleReport(call, m.address, answer).json();
            object.insert(QStringLiteral("time"), time);
            console.print(object);
        } else {
            console.out << time << "  " << module << answer.error << Qt::endl;
        }
        return;
    }
    const device::Reading reading = device::decodedRegisters(answer.view().registerBytes, {});
    if (call.csv) {
        console.out << csvRow(time, m.address, reading) << Qt::endl;
    } else if (call.json) {
        console.print(stateJson(m.address, reading));
    } else if (const QStringList changed = changes(reading, m.last); !changed.isEmpty()) {
        // A round where nothing changed says nothing.
        console.out << time << "  " << module << changed.join(QStringLiteral("  ")) << Qt::endl;
    }
    m.last = reading;
}

} // namespace

namespace {

enum class RoundEnd { Done, Stopped, Lost, OutputFailed };

// One round: each module read once, in list order.
RoundEnd readRound(const Invocation& call, Console& console, Master& master,
    std::vector<Watched>& modules, std::optional<Answer>& lost)
{
    for (Watched& m : modules) {
        const Answer answer
            = master.ask(device::readAllRequest(static_cast<std::uint8_t>(m.address)));
        if (answer.interrupted())
            return RoundEnd::Stopped;
        m.statistics.count(answer);
        printReading(call, console, answer, m);
        // What cannot be written is lost: the command ends at once, as every other does.
        if (console.out.status() != QTextStream::Ok)
            return RoundEnd::OutputFailed;
        // A device that has gone does not come back by itself.
        if (line::isLineFailure(answer.failure)) {
            lost = answer;
            return RoundEnd::Lost;
        }
    }
    return RoundEnd::Done;
}

} // namespace

int monitorCommand(const Invocation& call, Console& console)
{
    if (!call.arguments.isEmpty())
        return console.say(Report::refused(QStringLiteral("monitor takes no arguments")));
    CallMaster master(call, console.err);
    if (const int status = openLine(call, master, console, call.line.baud))
        return status;

    std::vector<Watched> modules;
    for (const int address : call.modules)
        modules.push_back({ address, {}, {} });
    if (call.csv)
        console.out << csvHeader() << Qt::endl;
    std::optional<Answer> lost;
    RoundEnd end
        = console.out.status() == QTextStream::Ok ? RoundEnd::Done : RoundEnd::OutputFailed;
    QElapsedTimer period;
    for (int n = 0; (call.count == 0 || n < call.count) && end == RoundEnd::Done; ++n) {
        if (n > 0 && !master.pause(call.intervalMs - static_cast<int>(period.elapsed())))
            break;
        period.start();
        end = readRound(call, console, master, modules, lost);
    }
    // The failed write is said once, by the caller that checks the output.
    if (end == RoundEnd::OutputFailed)
        return kModuleFault;
    bool allOk = true;
    for (const Watched& m : modules) {
        printStatistics(call, console, m);
        allOk = allOk && m.statistics.ok == m.statistics.requests;
    }
    if (lost) {
        // Its JSON line went with the round's reading.
        Report report = Report::ofAnswer(*lost);
        report.terminalOnly = true;
        return console.say(report);
    }
    return allOk ? kDone : kModuleFault;
}

} // namespace cli
