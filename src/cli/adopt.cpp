// adopt: a lone new module, at an unknown address and rate, given an address (and a rate) in
// well under a second, where a scan of every address and rate takes most of a minute.

#include "commands.h"
#include "device/parameter_value.h"
#include "device/requests.h"

#include <QElapsedTimer>
#include <QJsonObject>

#include <cmath>

namespace cli {

namespace {

// What the reads at NEW found at one rate.
struct Heard {
    int rate;
    Answer answer;
};

QString ratesText(const QList<Heard>& heard)
{
    QStringList rates;
    for (const Heard& h : heard)
        rates << QString::number(h.rate);
    return rates.join(QStringLiteral(", "));
}

// The end of a failed adopt: what went wrong, and what became of the modules.
int failAdopt(const Invocation& call, Console& console, int status, const QString& why)
{
    if (call.json)
        console.print(
            QJsonObject { { QStringLiteral("ok"), false }, { QStringLiteral("error"), why } });
    return console.fail(static_cast<ExitCode>(status), why);
}

// The end of an adopt that found its module: where it is now, and how long it took.
int adopted(
    const Invocation& call, Console& console, int newAddress, int rate, const QElapsedTimer& clock)
{
    const double seconds = static_cast<double>(clock.elapsed()) / 1000;
    if (call.json)
        console.print(QJsonObject { { QStringLiteral("address"), newAddress },
            { QStringLiteral("baud_rate"), rate }, { QStringLiteral("ok"), true },
            { QStringLiteral("seconds"), std::round(seconds * 1000) / 1000 } });
    else
        console.out << "adopted: address " << newAddress << " at " << rate << " baud" << Qt::endl;
    return kDone;
}

} // namespace

int adoptCommand(const Invocation& call, Console& console)
{
    if (call.arguments.isEmpty() || call.arguments.size() > 2)
        return console.fail(kWrongCall, QStringLiteral("adopt needs NEW and may take a RATE"));
    const auto newAddress = newAddressArgument(call.arguments.front());
    if (!newAddress)
        return console.fail(kWrongCall, newAddress.error());
    std::optional<device::Units> newCode;
    if (call.arguments.size() == 2) {
        const auto code = baudCodeArgument(call.arguments.back());
        if (!code)
            return console.fail(kWrongCall, code.error());
        newCode = *code;
    }
    const device::Parameter& baudRate = device::parameter(device::ParameterId::BaudRate);
    const auto slave = static_cast<std::uint8_t>(*newAddress);

    const QList<int> rates = ratesToTry(
        call, console, QList<int>(device::kBaudRates.begin(), device::kBaudRates.end()));
    CallMaster master(call, console.err);
    // From the first frame to the last.
    QElapsedTimer clock;
    // Every module on the line, whatever its rate, hears one of these and takes the address.
    if (const int status = openLine(call, master, console, rates.front()))
        return status;
    clock.start();
    for (const int rate : rates) {
        if (const int status = changeRate(call, master, console, rate))
            return status;
        if (!master.broadcast(device::addressChangeRequest(slave), call.settleMs))
            return kDone;
    }
    // A lone module answers at one rate; answers at two, or a garbled one, are two modules.
    QList<Heard> heard;
    for (const int rate : rates) {
        if (const int status = changeRate(call, master, console, rate))
            return status;
        const Answer answer = master.ask(device::readRequest(slave, 0x0000, 1));
        if (answer.interrupted())
            return kDone;
        if (line::isLineFailure(answer.failure))
            return failAdopt(call, console, kPortUnusable, answer.error);
        if (!answer.silent())
            heard << Heard { rate, answer };
    }
    const QString all
        = QStringLiteral("; every module on the line now has address %1").arg(*newAddress);
    if (heard.isEmpty())
        return failAdopt(call, console, kModuleFault,
            QStringLiteral("no module answers at address %1 at any rate").arg(*newAddress));
    if (heard.size() > 1)
        return failAdopt(call, console, kModuleFault,
            QStringLiteral("answers at %1 baud: more than one module is on the line")
                    .arg(ratesText(heard))
                + all);
    if (!heard.front().answer.ok())
        return failAdopt(call, console, kModuleFault,
            QStringLiteral("%1 at %2 baud: more than one module answered together")
                    .arg(heard.front().answer.error)
                    .arg(heard.front().rate)
                + all);

    int rate = heard.front().rate;
    if (newCode && device::kBaudRates[*newCode] != rate) {
        if (const int status = changeRate(call, master, console, rate))
            return status;
        const Answer moved = master.ask(device::writeRequest(slave, baudRate, *newCode));
        if (!moved.ok())
            return failAdopt(call, console, exitStatusOf(moved),
                QStringLiteral("address %1 taken at %2 baud, but the baud write failed: %3")
                    .arg(*newAddress)
                    .arg(rate)
                    .arg(moved.error));
        rate = device::kBaudRates[*newCode];
        if (saidServerKeepsRate(call, console, rate))
            return adopted(call, console, *newAddress, rate, clock);
        if (const int status = changeRate(call, master, console, rate))
            return status;
        const Answer check = master.ask(device::readRequest(slave, 0x0000, 1));
        if (!check.ok())
            return failAdopt(call, console, exitStatusOf(check),
                QStringLiteral("no answer at address %1 at %2 baud: %3")
                    .arg(*newAddress)
                    .arg(rate)
                    .arg(check.error));
    }
    return adopted(call, console, *newAddress, rate, clock);
}

} // namespace cli
