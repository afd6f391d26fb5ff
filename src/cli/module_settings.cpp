// address and baud: the module's own line settings.

#include "commands.h"
#include "device/parameter_value.h"
#include "device/requests.h"
#include "modules.h"
#include "reading_output.h"
#include "text/quoted_text.h"

#include <QJsonObject>

namespace cli {

namespace {

void print(Console& console, const Invocation& call, const QString& key, int value)
{
    if (call.json)
        console.print(QJsonObject { { key, value }, { QStringLiteral("verified"), call.verify } });
    else
        console.out << line(key, QString::number(value)) << Qt::endl;
}

} // namespace

Result<int> newAddressArgument(const QString& text)
{
    const auto address = wholeNumber(text, device::kMinUnicastAddress, device::kMaxUnicastAddress);
    if (!address)
        return Result<int>::failure(
            QStringLiteral("address %1 is not 1 to 247").arg(quoting::quotedValue(text)));
    return *address;
}

Result<device::Units> baudCodeArgument(const QString& text)
{
    const device::Parameter& baudRate = device::parameter(device::ParameterId::BaudRate);
    const device::TypedValue code = device::typedValue(baudRate, text, device::Bounds::Strict);
    if (!code)
        return Result<device::Units>::failure(device::valueErrorText(baudRate, text, code.error));
    return code.units;
}

namespace {

// A bridge that serves the line refuses to move a module off it: the module's address and rate
// change on the port itself, with the bridge stopped. Through a network line that may be a
// bridge's face, a failed move says so.
Report mayBeBridge(const Invocation& call, Report report)
{
    if (call.where.address && call.where.address->isServer())
        report.text += QStringLiteral("; if a bridge serves this line, it never lets a module be "
                                      "moved off it: stop the bridge and do it on the port");
    return report;
}

} // namespace

int addressCommand(const Invocation& call, Console& console)
{
    if (call.arguments.size() != 1)
        return console.say(Report::refused(QStringLiteral("address needs the NEW address")));
    const auto newAddress = newAddressArgument(call.arguments.front());
    if (!newAddress)
        return console.say(Report::refused(newAddress.error()));

    CallMaster master(call, console.err);
    if (const int status = openLine(call, master, console, call.line.baud))
        return status;
    // Every module on the line takes a broadcast; it may answer from address 0 or not at all.
    const Answer answer
        = master.ask(device::addressChangeRequest(static_cast<std::uint8_t>(*newAddress)));
    if (!answer.ok() && answer.failure != line::Failure::NoReply)
        return console.say(Report::ofAnswer(answer));
    if (call.verify) {
        const Answer check
            = master.ask(device::readRequest(static_cast<std::uint8_t>(*newAddress), 0x0000, 1));
        if (!check.ok())
            return console.say(mayBeBridge(call,
                Report::ofAnswer(
                    check, QStringLiteral("no module answers at address %1").arg(*newAddress))));
    }
    print(console, call, QStringLiteral("address"), *newAddress);
    return kDone;
}

int baudCommand(const Invocation& call, Console& console)
{
    if (call.arguments.size() != 1)
        return console.say(Report::refused(QStringLiteral("baud needs the new RATE")));
    const device::Parameter& baudRate = device::parameter(device::ParameterId::BaudRate);
    const QString rate = call.arguments.front();
    const auto code = baudCodeArgument(rate);
    if (!code)
        return console.say(Report::refused(code.error()));

    CallMaster master(call, console.err);
    if (const int status = openLine(call, master, console, call.line.baud))
        return status;
    const auto slave = static_cast<std::uint8_t>(call.address);
    const Answer answer = master.ask(device::writeRequest(slave, baudRate, *code));
    if (!answer.ok())
        return console.say(answer.failure == line::Failure::Exception
                ? mayBeBridge(call, Report::ofAnswer(answer))
                : Report::ofAnswer(answer));
    const int newRate = device::kBaudRates[*code];
    if (call.verify && !saidServerKeepsRate(call, console, newRate)) {
        // The module answered at the old rate; from now on it listens at the new one.
        if (const int status = changeRate(call, master, console, newRate))
            return status;
        const Answer check = master.ask(device::readRequest(slave, baudRate.address, 1));
        if (!check.ok())
            return console.say(
                Report::ofAnswer(check, QStringLiteral("no answer at %1 baud").arg(rate)));
        if (const device::Units held = device::firstRegister(check.view().registerBytes);
            held != *code) {
            // It answered, but not with the rate it was given: as an echo of another value.
            Answer other = check;
            other.failure = line::Failure::WrongEcho;
            other.error = QStringLiteral("the module reports baud-rate code %1, not %2")
                              .arg(held)
                              .arg(*code);
            return console.say(Report::ofAnswer(other));
        }
    }
    print(console, call, QStringLiteral("baud_rate"), device::kBaudRates[*code]);
    return kDone;
}

} // namespace cli
