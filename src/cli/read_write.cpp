// read and set: the module's parameters by name, for each module of the call.

#include "apply_file.h"
#include "commands.h"
#include "device/parameter_value.h"
#include "device/requests.h"
#include "modules.h"
#include "reading_output.h"
#include "text/quoted_text.h"

#include <vector>

namespace cli {

StatusOr<device::Reading> readModule(
    const Invocation& call, Master& master, Console& console, int address)
{
    const Answer answer = master.ask(device::readAllRequest(static_cast<std::uint8_t>(address)));
    if (!answer.ok())
        return StatusOr<device::Reading>::failure(console.say(moduleReport(call, address, answer)));
    return device::decodedRegisters(answer.view().registerBytes, {});
}

void printModuleHeader(const Invocation& call, Console& console, int address)
{
    if (severalModules(call) && !call.json)
        console.out << "module " << address << Qt::endl;
}

int readCommand(const Invocation& call, Console& console)
{
    if (!call.arguments.isEmpty())
        return console.say(Report::refused(QStringLiteral("read takes no arguments")));
    CallMaster master(call, console.err);
    // Text waits for every module, to set them side by side; JSON goes out line by line.
    std::vector<ModuleReading> readings;
    const int status = serveModules(call, master, console, [&](int address) -> int {
        const auto reading = readModule(call, master, console, address);
        if (!reading)
            return reading.error();
        if (call.json) {
            QJsonObject object = readingJson(address, *reading);
            object.insert(QStringLiteral("ok"), true);
            console.print(object);
        } else {
            readings.push_back({ address, *reading });
        }
        return kDone;
    });
    if (readings.size() == 1 && !severalModules(call))
        console.out << readingLines(readings.front().address, readings.front().reading).join(u'\n')
                    << Qt::endl;
    else if (!readings.empty())
        console.out << readingColumns(readings).join(u'\n') << Qt::endl;
    return status;
}

int setCommand(const Invocation& call, Console& console)
{
    if (call.arguments.isEmpty())
        return console.say(Report::refused(QStringLiteral("set needs NAME=VALUE")));
    // Every value is checked before the first is sent.
    std::vector<Assignment> assignments;
    for (const QString& argument : call.arguments) {
        const qsizetype equals = argument.indexOf(u'=');
        const QString name = argument.left(equals);
        const device::Parameter* p = device::parameterNamed(name.toStdString());
        if (equals < 0 || !p)
            return console.say(
                Report::refused(QStringLiteral("%1 is not NAME=VALUE with a parameter's name")
                                    .arg(quoting::quotedValue(argument))));
        if (p->kind == device::Kind::BaudCode)
            return console.say(
                Report::refused(QStringLiteral("baud_rate is changed with the baud command")));
        const QString text = argument.mid(equals + 1);
        const device::TypedValue typed = device::typedValue(
            *p, text, call.clamp ? device::Bounds::Clamp : device::Bounds::Strict);
        if (!typed)
            return console.say(Report::refused(device::valueErrorText(*p, text, typed.error)));
        assignments.push_back({ p, typed.units, {} });
    }

    CallMaster master(call, console.err);
    return serveModules(call, master, console, [&](int address) -> int {
        printModuleHeader(call, console, address);
        QJsonObject written;
        if (severalModules(call))
            written = { { QStringLiteral("address"), address }, { QStringLiteral("ok"), true } };
        for (const Assignment& a : assignments) {
            const Answer answer = master.ask(
                device::writeRequest(static_cast<std::uint8_t>(address), *a.parameter, a.units));
            const QString name = quoting::latin1(a.parameter->name);
            if (!answer.ok())
                return console.say(moduleReport(call, address, answer, name));
            if (call.json)
                written.insert(name, jsonValue(*a.parameter, a.units));
            else
                console.out << line(name, shownValue(*a.parameter, a.units)) << Qt::endl;
        }
        if (call.json)
            console.print(written);
        return kDone;
    });
}

} // namespace cli
