// read, set and apply: the module's parameters by name.

#include "apply_file.h"
#include "commands.h"
#include "device/parameter_value.h"
#include "device/requests.h"
#include "reading_output.h"

#include <algorithm>
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
        assignments.push_back({ p, typed.units, {} });
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

namespace {

// The profile of apply's or verify's one FILE; the keys it passes over are said on stderr. On
// failure it has said why and status holds the exit status.
std::optional<Profile> profileOfCall(const Invocation& call, Console& console, int& status)
{
    const QString needs = QStringLiteral("%1 needs one FILE (- for stdin)").arg(call.command);
    if (call.arguments.size() != 1 || call.arguments.front().isEmpty()) {
        status = console.fail(kWrongCall, needs);
        return std::nullopt;
    }
    const QString path = call.arguments.front();
    const auto content = applyFileContent(path);
    if (!content) {
        status = console.fail(kWrongCall, content.error());
        return std::nullopt;
    }
    const auto profile = applyFileProfile(*content);
    if (!profile) {
        status = console.fail(kWrongCall, QStringLiteral("%1: %2").arg(path, profile.error()));
        return std::nullopt;
    }
    for (const QString& ignored : profile->ignored)
        console.err << "pwm5ctl: " << ignored << Qt::endl;
    return *profile;
}

// "12.3 V (12.34 rounded)": what the module holds, and the file's value when it differs.
QString heldValue(const Assignment& a)
{
    const QString shown = shownValue(*a.parameter, a.units);
    return a.rounded.isEmpty() ? shown : QStringLiteral("%1 (%2 rounded)").arg(shown, a.rounded);
}

} // namespace

int applyCommand(const Invocation& call, Console& console)
{
    int status = kDone;
    const auto profile = profileOfCall(call, console, status);
    if (!profile)
        return status;

    // What the file leaves out keeps the module's value.
    Master master(call.timeoutMs, call.verbose, console.err);
    const auto reading = openAndRead(call, master, console, status);
    if (!reading)
        return status;
    device::ParameterValues values = reading->values;
    for (const Assignment& a : profile->assignments)
        values[device::indexOf(a.parameter->id)] = a.units;
    if (values == reading->values) {
        if (call.json)
            console.print(QJsonObject { { QStringLiteral("changed"), QJsonObject {} } });
        else
            console.out << "the module holds every value of " << call.arguments.front()
                        << " already; nothing written" << Qt::endl;
        return kDone;
    }
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
        const auto given = std::ranges::find(profile->assignments, &p, &Assignment::parameter);
        if (call.json)
            changed.insert(name, jsonValue(p, after));
        else
            console.out << line(
                name, shownValue(p, before) + QStringLiteral(" -> ") + heldValue(*given))
                        << Qt::endl;
    }
    if (call.json)
        console.print(QJsonObject { { QStringLiteral("changed"), changed } });
    return kDone;
}

int verifyCommand(const Invocation& call, Console& console)
{
    int status = kDone;
    const auto profile = profileOfCall(call, console, status);
    if (!profile)
        return status;
    Master master(call.timeoutMs, call.verbose, console.err);
    const auto reading = openAndRead(call, master, console, status);
    if (!reading)
        return status;

    QJsonObject differences;
    QStringList lines;
    for (const device::ParameterId id : printOrder()) {
        const auto a = std::ranges::find(
            profile->assignments, id, [](const Assignment& given) { return given.parameter->id; });
        if (a == profile->assignments.end())
            continue;
        const device::Parameter& p = *a->parameter;
        const device::Units held = reading->values[device::indexOf(id)];
        if (held == a->units)
            continue;
        const QString name = device::latin1(p.name);
        differences.insert(name,
            QJsonObject { { QStringLiteral("file"), jsonValue(p, a->units) },
                { QStringLiteral("module"), jsonValue(p, held) } });
        lines << QStringLiteral("%1: file %2, module %3")
                     .arg(name, heldValue(*a), shownValue(p, held));
    }
    if (call.json)
        console.print(QJsonObject { { QStringLiteral("address"), call.address },
            { QStringLiteral("ok"), true }, { QStringLiteral("differences"), differences } });
    else if (lines.isEmpty())
        console.out << "the module holds every value of " << call.arguments.front() << Qt::endl;
    else
        console.out << lines.join(u'\n') << Qt::endl;
    return lines.isEmpty() ? kDone : kModuleFault;
}

} // namespace cli
