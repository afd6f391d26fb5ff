// scan: finding a module whose address or baud rate is not known.

#include "commands.h"
#include "device/parameter_value.h"
#include "device/requests.h"
#include "modules.h"
#include "reading_output.h"
#include "stop_signals.h"
#include "terminal.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>

namespace cli {

namespace {

// What a scan has done so far.
struct Search {
    QJsonArray found;
    int probes = 0;
    bool interrupted = false;
    std::optional<Answer> portFailure;

    bool over(const Invocation& call) const
    {
        return interrupted || portFailure || (!found.isEmpty() && !call.all);
    }
};

// Probes every address of the call at one rate.
void scanRate(const Invocation& call, Console& console, Master& master, int baud, Search& search)
{
    const device::Parameter& supply = device::parameter(device::ParameterId::SupplyVoltage);
    // A progress line is for a person watching, not for a log.
    const bool progress = stderrIsTerminal() && !call.verbose;
    for (const int address : call.addresses) {
        if (progress)
            console.err << QStringLiteral("\rscan: %1 baud, address %2 ").arg(baud).arg(address)
                        << Qt::flush;
        // Register 0x0000, the supply voltage, is the smallest read a module answers.
        const Answer answer = master.ask(
            device::readRequest(static_cast<std::uint8_t>(address), supply.address, 1));
        search.interrupted = answer.interrupted();
        if (answer.interrupted())
            break;
        ++search.probes;
        if (line::isLineFailure(answer.failure))
            search.portFailure = answer;
        if (!answer.ok())
            continue;
        const device::Units volts = device::firstRegister(answer.view().registerBytes);
        if (progress)
            console.err << "\r\033[K" << Qt::flush;
        if (!call.json)
            console.out << QStringLiteral("address %1  baud_rate %2  supply_voltage %3")
                               .arg(address)
                               .arg(baud)
                               .arg(shownValue(supply, volts))
                        << Qt::endl;
        search.found.append(QJsonObject { { QStringLiteral("address"), address },
            { QStringLiteral("baud_rate"), baud },
            { QStringLiteral("supply_voltage"), jsonValue(supply, volts) } });
        if (search.over(call))
            break;
    }
    if (progress)
        console.err << "\r\033[K" << Qt::flush;
}

// "interrupted", "terminated", or "stopped: the reader of standard output went away".
QString stoppedText()
{
    const QString why = stopText();
    return why.contains(u' ') ? QStringLiteral("stopped: ") + why : why;
}

} // namespace

int scanCommand(const Invocation& call, Console& console)
{
    if (!call.arguments.isEmpty())
        return console.say(Report::refused(QStringLiteral("scan takes no arguments")));
    CallMaster master(call, console.err);
    QElapsedTimer clock;
    clock.start();
    Search search;
    const QList<int> rates = ratesToTry(call, console, call.bauds);
    for (const int baud : rates) {
        // One line for every rate: a device server's connection is not made again.
        if (const int status = baud == rates.front() ? openLine(call, master, console, baud)
                                                     : changeRate(call, master, console, baud))
            return status;
        scanRate(call, console, master, baud, search);
        if (search.over(call))
            break;
    }
    if (search.portFailure)
        return console.say(Report::ofAnswer(*search.portFailure));
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    if (call.json) {
        QJsonObject object { { QStringLiteral("found"), search.found },
            { QStringLiteral("probes"), search.probes }, { QStringLiteral("seconds"), seconds } };
        if (search.interrupted)
            object.insert(QStringLiteral("interrupted"), true);
        console.print(object);
    }
    const QString summary
        = QStringLiteral("%1 probes in %2 s").arg(search.probes).arg(seconds, 0, 'f', 1);
    if (search.interrupted)
        return console.say(Report::plain(
            kModuleFault, QStringLiteral("scan %1 (%2)").arg(stoppedText(), summary)));
    if (search.found.isEmpty())
        return console.say(
            Report::plain(kModuleFault, QStringLiteral("no module found (%1)").arg(summary)));
    return kDone;
}

} // namespace cli
