// adopt: a lone new module, at an unknown address and rate, given an address (and a rate) in
// well under a second, where a scan of every address and rate takes most of a minute.

#include "commands.h"
#include "device/parameter_value.h"
#include "device/requests.h"
#include "modbus/crc16.h"
#include "modules.h"
#include "rtu/reply.h"
#include "stop_signals.h"

#include <QElapsedTimer>
#include <QJsonObject>

#include <cmath>

namespace cli {

namespace {

// What adopt was asked for, checked before anything is sent.
struct Plan {
    int newAddress = 0;
    std::optional<device::Units> newCode; // the rate to move the module to, as its code
};

// What the reads at NEW found at one rate: the answer to the read at that rate, or one that
// came after its timeout.
struct Heard {
    int rate;
    Answer answer;
    bool late = false;
};

QString ratesText(const QList<Heard>& heard)
{
    QStringList rates;
    for (const Heard& h : heard)
        rates << QString::number(h.rate);
    return rates.join(QStringLiteral(", "));
}

// One adopt on its way: the line, the rates, and whether a broadcast has gone, after which
// the modules on the line may have the new address whatever else happens.
struct Adoption {
    const Invocation& call;
    Console& console;
    Plan plan;
    CallMaster master;
    QList<int> rates;
    QElapsedTimer clock; // from the first frame to the last
    bool broadcast = false;

    Adoption(const Invocation& c, Console& out, const Plan& p)
        : call(c)
        , console(out)
        , plan(p)
        , master(c, out.err)
    {
    }

    auto slave() const { return static_cast<std::uint8_t>(plan.newAddress); }
};

Result<Plan> planOf(const Invocation& call)
{
    if (call.arguments.isEmpty() || call.arguments.size() > 2)
        return Result<Plan>::failure(QStringLiteral("adopt needs NEW and may take a RATE"));
    const auto newAddress = newAddressArgument(call.arguments.front());
    if (!newAddress)
        return Result<Plan>::failure(newAddress.error());
    Plan plan { *newAddress, std::nullopt };
    if (call.arguments.size() == 2) {
        const auto code = baudCodeArgument(call.arguments.back());
        if (!code)
            return Result<Plan>::failure(code.error());
        plan.newCode = *code;
    }
    return plan;
}

// The end of a failed adopt: what went wrong, and what may have become of the modules. A stop
// is said too, with its JSON line: the exit status is the signal's, but a module may have the
// address already.
int failed(Adoption& a, Report report)
{
    if (a.broadcast)
        report.text += QStringLiteral("; modules on the line may have taken address %1")
                           .arg(a.plan.newAddress);
    // Through a bridge's face the broadcast never reached the line.
    if (a.broadcast && report.failure == line::Failure::NoReply)
        report = movesRefusedByBridge(a.call, std::move(report));
    return a.console.say(report);
}

Report stopped()
{
    return { line::Failure::Interrupted, stopText() };
}

int failed(Adoption& a, const Answer& answer, const QString& before = {})
{
    return failed(a, answer.interrupted() ? stopped() : Report::ofAnswer(answer, before));
}

// A broadcast that did not go: stopped, or the line lost.
int broadcastFailed(Adoption& a)
{
    if (a.master.interrupted())
        return failed(a, stopped());
    const auto fault = a.master.lineFault();
    return failed(a,
        fault ? Report(fault->kind, fault->text)
              : Report(line::Failure::Lost, QStringLiteral("the broadcast did not go")));
}

// Every module on the line, whatever its rate, hears one of these and takes the address.
int broadcastEverywhere(Adoption& a)
{
    if (const int status = openLine(a.call, a.master, a.console, a.rates.front()))
        return status;
    a.clock.start();
    for (const int rate : a.rates) {
        if (const int status = changeRate(a.call, a.master, a.console, rate))
            return status;
        // Said from now on: a module may take the address even from a frame cut short.
        a.broadcast = true;
        if (!a.master.broadcast(device::addressChangeRequest(a.slave()), a.call.settleMs))
            return broadcastFailed(a);
    }
    return kDone;
}

// The read at the i-th rate asks for i + 1 registers: a reply that comes late, at a later
// rate, then fails that rate's byte count instead of passing for its answer. A pseudo-terminal
// or a device server passes a late reply on unchanged, where a serial line would garble it.
QByteArray listenRequest(const Adoption& a, qsizetype i)
{
    return device::readRequest(a.slave(), 0x0000, static_cast<std::uint16_t>(i + 1));
}

// A wrong answer at one rate that is the late reply to an earlier rate's read (its byte count
// says which), read to its end and judged as the answer to that read: whole, or garbled by
// modules that answered together.
std::optional<Heard> lateFrom(Adoption& a, const Heard& h)
{
    if (h.answer.failure != line::Failure::WrongLength)
        return std::nullopt;
    const qsizetype i = h.answer.view().announcedBytes / 2 - 1;
    if (i < 0 || i >= a.rates.size() || a.rates[i] == h.rate)
        return std::nullopt;
    // Its checks stopped at the byte count: the rest is still coming.
    Answer earlier;
    earlier.request = modbus::framed(listenRequest(a, i));
    earlier.reply = h.answer.reply;
    return Heard { a.rates[i], a.master.awaitLate(earlier), true };
}

// An answer that came after the timeout: a whole one is a module slower than the timeout, a
// garbled one is modules that answered together, late. One whose end was not heard (the next
// request went out meanwhile and the line dropped it) may be either: the timeout is the cure.
int lateVerdict(Adoption& a, const Heard& h)
{
    if (h.answer.ok() || h.answer.progress.state == line::ReplyState::Incomplete)
        return failed(a,
            Report { line::Failure::NoReply,
                QStringLiteral(
                    "a module answered at %1 baud after the timeout (%2 ms); give adopt a "
                    "longer -t")
                    .arg(h.rate)
                    .arg(a.call.timeoutMs) });
    return failed(a,
        Report { h.answer.failure,
            QStringLiteral("%1 at %2 baud after the timeout (%3 ms): more than one module answered "
                           "together")
                .arg(h.answer.error)
                .arg(h.rate)
                .arg(a.call.timeoutMs) });
}

// A lone module answers at one rate; answers at two, or a garbled one, are two modules; an
// answer to an earlier rate's read is one module slower than the timeout, or garbled, two.
int verdictOf(Adoption& a, const QList<Heard>& heard)
{
    if (heard.isEmpty())
        return failed(a,
            Report { line::Failure::NoReply,
                QStringLiteral("no module answers at address %1 at any rate")
                    .arg(a.plan.newAddress) });
    for (const Heard& h : heard)
        if (h.late)
            return lateVerdict(a, h);
    if (heard.size() > 1)
        return failed(a,
            Report { line::Failure::WrongSlave,
                QStringLiteral("answers at %1 baud: more than one module is on the line")
                    .arg(ratesText(heard)) });
    return failed(a,
        Report { heard.front().answer.failure,
            QStringLiteral("%1 at %2 baud: more than one module answered together")
                .arg(heard.front().answer.error)
                .arg(heard.front().rate) });
}

// The answer at NEW at the i-th rate: to its read, or, when that found silence, what comes
// within the timeout after, at the same rate, before the line moves on and would garble it.
Answer listenAt(Adoption& a, qsizetype i, bool& late)
{
    const Answer answer = a.master.ask(listenRequest(a, i));
    late = false;
    if (!answer.silent() || answer.failure != line::Failure::NoReply)
        return answer;
    late = true;
    return a.master.awaitLate(answer);
}

// The rate of the one module that answers at NEW, or the exit status when that is not so, said.
StatusOr<int> listenEverywhere(Adoption& a)
{
    QList<Heard> heard;
    for (qsizetype i = 0; i < a.rates.size(); ++i) {
        if (const int status = changeRate(a.call, a.master, a.console, a.rates[i]))
            return StatusOr<int>::failure(status);
        bool late = false;
        const Answer answer = listenAt(a, i, late);
        if (answer.interrupted() || line::isLineFailure(answer.failure))
            return StatusOr<int>::failure(failed(a, answer));
        if (answer.silent())
            continue;
        const Heard h { a.rates[i], answer, late };
        heard << lateFrom(a, h).value_or(h);
    }
    if (heard.size() == 1 && heard.front().answer.ok() && !heard.front().late)
        return heard.front().rate;
    return StatusOr<int>::failure(verdictOf(a, heard));
}

// The module found at rate moves to the plan's rate, confirmed there by a read; the rate it
// is at when this is done, or the exit status when it failed and said so.
StatusOr<int> moveRate(Adoption& a, int rate)
{
    const device::Parameter& baudRate = device::parameter(device::ParameterId::BaudRate);
    if (const int status = changeRate(a.call, a.master, a.console, rate))
        return StatusOr<int>::failure(status);
    const Answer moved = a.master.ask(device::writeRequest(a.slave(), baudRate, *a.plan.newCode));
    if (!moved.ok())
        return StatusOr<int>::failure(failed(a, moved,
            QStringLiteral("address %1 taken at %2 baud, but the baud write failed")
                .arg(a.plan.newAddress)
                .arg(rate)));
    const int newRate = device::kBaudRates[*a.plan.newCode];
    if (saidServerKeepsRate(a.call, a.console, newRate))
        return newRate;
    if (const int status = changeRate(a.call, a.master, a.console, newRate))
        return StatusOr<int>::failure(status);
    const Answer check = a.master.ask(device::readRequest(a.slave(), 0x0000, 1));
    if (!check.ok())
        return StatusOr<int>::failure(failed(a, check,
            QStringLiteral("no answer at address %1 at %2 baud")
                .arg(a.plan.newAddress)
                .arg(newRate)));
    return newRate;
}

// The end of an adopt that found its module: where it is now, and how long it took.
int adopted(Adoption& a, int rate)
{
    const double seconds = static_cast<double>(a.clock.elapsed()) / 1000;
    if (a.call.json)
        a.console.print(QJsonObject { { QStringLiteral("address"), a.plan.newAddress },
            { QStringLiteral("baud_rate"), rate }, { QStringLiteral("ok"), true },
            { QStringLiteral("seconds"), std::round(seconds * 1000) / 1000 } });
    else
        a.console.out << "adopted: address " << a.plan.newAddress << " at " << rate << " baud"
                      << Qt::endl;
    return kDone;
}

} // namespace

int adoptCommand(const Invocation& call, Console& console)
{
    const auto plan = planOf(call);
    if (!plan)
        return console.say(Report::refused(plan.error()));
    Adoption a(call, console, *plan);
    a.rates = ratesToTry(
        call, console, QList<int>(device::kBaudRates.begin(), device::kBaudRates.end()));
    if (const int status = broadcastEverywhere(a))
        return status;
    const auto found = listenEverywhere(a);
    if (!found)
        return found.error();
    if (!a.plan.newCode || device::kBaudRates[*a.plan.newCode] == *found)
        return adopted(a, *found);
    const auto moved = moveRate(a, *found);
    return moved ? adopted(a, *moved) : moved.error();
}

} // namespace cli
