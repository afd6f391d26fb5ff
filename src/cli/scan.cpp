// scan: finding a module whose address or baud rate is not known.

#include "commands.h"
#include "device/parameter_value.h"
#include "device/requests.h"
#include "reading_output.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>
#include <unistd.h>

namespace cli {

int scanCommand(const Invocation& call, Console& console)
{
    if (!call.arguments.isEmpty())
        return console.fail(kWrongCall, QStringLiteral("scan takes no arguments"));
    const device::Parameter& supply = device::parameter(device::ParameterId::SupplyVoltage);
    // A progress line is for a person watching, not for a log.
    const bool progress = ::isatty(STDERR_FILENO) == 1 && !call.verbose;

    Master master(call.timeoutMs, call.verbose, console.err);
    QElapsedTimer clock;
    clock.start();
    QJsonArray found;
    int probes = 0;
    for (const int baud : call.bauds) {
        if (const int status = openLine(call, master, console, baud))
            return status;
        for (const int address : call.addresses) {
            if (progress)
                console.err << QStringLiteral("\rscan: %1 baud, address %2 ").arg(baud).arg(address)
                            << Qt::flush;
            // Register 0x0000, the supply voltage, is the smallest read a module answers.
            const Answer answer = master.ask(
                device::readRequest(static_cast<std::uint8_t>(address), supply.address, 1));
            ++probes;
            if (answer.unwritten)
                return console.fail(kPortUnusable, problem(answer, call.timeoutMs));
            if (!answer.complete())
                continue;
            const device::Units volts = firstRegister(answer.reply);
            if (progress)
                console.err << "\r\033[K" << Qt::flush;
            if (!call.json)
                console.out << QStringLiteral("address %1  baud_rate %2  supply_voltage %3")
                                   .arg(address)
                                   .arg(baud)
                                   .arg(shownValue(supply, volts))
                            << Qt::endl;
            found.append(QJsonObject { { QStringLiteral("address"), address },
                { QStringLiteral("baud_rate"), baud },
                { QStringLiteral("supply_voltage"), jsonValue(supply, volts) } });
            if (!call.all)
                break;
        }
        if (!found.isEmpty() && !call.all)
            break;
    }
    if (progress)
        console.err << "\r\033[K" << Qt::flush;
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    if (call.json)
        console.print(QJsonObject { { QStringLiteral("found"), found },
            { QStringLiteral("probes"), probes }, { QStringLiteral("seconds"), seconds } });
    if (found.isEmpty())
        return console.fail(kModuleFault,
            QStringLiteral("no module found (%1 probes in %2 s)")
                .arg(probes)
                .arg(seconds, 0, 'f', 1));
    return kDone;
}

} // namespace cli
