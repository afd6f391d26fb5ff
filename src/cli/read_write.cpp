// read, set and apply: the module's parameters by name.

#include "apply_file.h"
#include "commands.h"
#include "device/parameter_value.h"
#include "device/requests.h"
#include "reading_output.h"

#include <vector>

namespace cli {

namespace {

// Opens the line and reads the module at the call's address whole. On failure it has said why
// and status holds the exit status.
std::optional<device::Reading> openAndRead(
    const Invocation& call, Master& master, Console& console, int& status)
{
    status = openLine(call, master, console, call.line.baud);
    if (status != kDone)
        return std::nullopt;
    const Answer answer
        = master.ask(device::readAllRequest(static_cast<std::uint8_t>(call.address)));
    if (!answer.ok()) {
        status = console.fail(answer);
        return std::nullopt;
    }
    return device::decodedReply(answer.reply, {});
}

} // namespace

int readCommand(const Invocation& call, Console& console)
{
    if (!call.arguments.isEmpty())
        return console.fail(kWrongCall, QStringLiteral("read takes no arguments"));
    Master master(call.timeoutMs, call.verbose, console.err);
    int status = kDone;
    const auto reading = openAndRead(call, master, console, status);
    if (!reading)
        return status;
    if (call.json)
        console.print(readingJson(call.address, *reading));
    else
        console.out << readingLines(call.address, *reading).join(u'\n') << Qt::endl;
    return kDone;
}

int setCommand(const Invocation& call, Console& console)
{
    if (call.arguments.isEmpty())
        return console.fail(kWrongCall, QStringLiteral("set needs NAME=VALUE"));
    // Every value is checked before the first is sent.
    std::vector<Assignment> assignments;
    for (const QString& argument : call.arguments) {
        const qsizetype equals = argument.indexOf(u'=');
        const QString name = argument.left(equals);
        const device::Parameter* p = device::parameterNamed(name.toStdString());
        if (equals < 0 || !p)
            return console.fail(kWrongCall,
                QStringLiteral("%1 is not NAME=VALUE with a parameter's name")
                    .arg(device::quotedValue(argument)));
        if (p->kind == device::Kind::BaudCode)
            return console.fail(
                kWrongCall, QStringLiteral("baud_rate is changed with the baud command"));
        const QString text = argument.mid(equals + 1);
        const device::TypedValue typed = device::typedValue(
            *p, text, call.clamp ? device::Bounds::Clamp : device::Bounds::Strict);
        if (!typed)
            return console.fail(kWrongCall, device::valueErrorText(*p, text, typed.error));
        assignments.push_back({ p, typed.units });
    }

    Master master(call.timeoutMs, call.verbose, console.err);
    if (const int status = openLine(call, master, console, call.line.baud))
        return status;
    QJsonObject written;
    for (const Assignment& a : assignments) {
        const Answer answer = master.ask(
            device::writeRequest(static_cast<std::uint8_t>(call.address), *a.parameter, a.units));
        const QString name = device::latin1(a.parameter->name);
        if (!answer.ok())
            return console.fail(answer, name);
        if (call.json)
            written.insert(name, jsonValue(*a.parameter, a.units));
        else
            console.out << line(name, shownValue(*a.parameter, a.units)) << Qt::endl;
    }
    if (call.json)
        console.print(written);
    return kDone;
}

int applyCommand(const Invocation& call, Console& console)
{
    if (call.arguments.size() != 1)
        return console.fail(kWrongCall, QStringLiteral("apply needs one FILE (- for stdin)"));
    const QString path = call.arguments.front();
    const auto content = applyFileContent(path);
    if (!content)
        return console.fail(kWrongCall, content.error());
    const auto assignments = applyFileAssignments(*content);
    if (!assignments)
        return console.fail(kWrongCall, QStringLiteral("%1: %2").arg(path, assignments.error()));

    // What the file leaves out keeps the module's value.
    Master master(call.timeoutMs, call.verbose, console.err);
    int status = kDone;
    const auto reading = openAndRead(call, master, console, status);
    if (!reading)
        return status;
    device::ParameterValues values = reading->values;
    for (const Assignment& a : *assignments)
        values[device::indexOf(a.parameter->id)] = a.units;
    // Every register of the write-all block but the module's baud-rate code, which stays.
    const device::WrittenRegisters registers = device::writtenRegisters(values);
    const std::size_t count
        = device::parameter(device::ParameterId::BaudRate).address - device::kFirstWrittenRegister;
    const Answer answer
        = master.ask(device::writeRegistersRequest(static_cast<std::uint8_t>(call.address),
            device::kFirstWrittenRegister, std::span(registers).first(count)));
    if (!answer.ok())
        return console.fail(answer);

    QJsonObject changed;
    for (const device::ParameterId id : printOrder()) {
        const device::Parameter& p = device::parameter(id);
        const device::Units before = reading->values[device::indexOf(id)];
        const device::Units after = values[device::indexOf(id)];
        if (before == after || !writable(p))
            continue;
        const QString name = device::latin1(p.name);
        if (call.json)
            changed.insert(name, jsonValue(p, after));
        else
            console.out << line(
                name, shownValue(p, before) + QStringLiteral(" -> ") + shownValue(p, after))
                        << Qt::endl;
    }
    if (call.json)
        console.print(QJsonObject { { QStringLiteral("changed"), changed } });
    return kDone;
}

} // namespace cli
