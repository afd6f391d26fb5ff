// apply and verify: a profile written to, or compared with, each module of the call.

#include "apply_file.h"
#include "commands.h"
#include "device/parameter_value.h"
#include "device/requests.h"
#include "device/write_all.h"
#include "modules.h"
#include "profile_write.h"
#include "reading_output.h"
#include "text/quoted_text.h"

#include <algorithm>

namespace cli {

namespace {

// The profile of apply's or verify's one FILE; the keys it passes over are said on stderr. On
// failure it has said why.
StatusOr<Profile> profileOfCall(const Invocation& call, Console& console)
{
    const auto wrong = [&](const QString& why) {
        return StatusOr<Profile>::failure(console.say(Report::refused(why)));
    };
    if (call.arguments.size() != 1 || call.arguments.front().isEmpty())
        return wrong(QStringLiteral("%1 needs one FILE (- for stdin)").arg(call.commandName()));
    const QString path = call.arguments.front();
    const auto content = applyFileContent(path);
    if (!content)
        return wrong(content.error());
    const auto profile = applyFileProfile(*content);
    if (!profile)
        return wrong(QStringLiteral("%1: %2").arg(fileName(path), profile.error()));
    for (const IgnoredKey& ignored : profile->ignored)
        console.err << "pwm5ctl: " << ignoredText(ignored) << Qt::endl;
    return *profile;
}

// "12.3 V (12.34 rounded)": what the module holds, and the file's value when it differs.
QString heldValue(const Assignment& a)
{
    const QString shown = shownValue(*a.parameter, a.units);
    return a.rounded.isEmpty() ? shown : QStringLiteral("%1 (%2 rounded)").arg(shown, a.rounded);
}

const Assignment* assignmentOf(const Profile& profile, device::ParameterId id)
{
    const auto found = std::ranges::find_if(
        profile.assignments, [id](const Assignment& a) { return a.parameter->id == id; });
    return found == profile.assignments.end() ? nullptr : &*found;
}

// {"address":2,"ok":true} ahead of a module's own keys when the call serves several.
QJsonObject moduleObject(const Invocation& call, int address)
{
    if (!severalModules(call))
        return {};
    return { { QStringLiteral("address"), address }, { QStringLiteral("ok"), true } };
}

int applyTo(
    const Invocation& call, Master& master, Console& console, const Profile& profile, int address)
{
    printModuleHeader(call, console, address);
    // What the file leaves out keeps the module's value.
    const auto reading = readModule(call, master, console, address);
    if (!reading)
        return reading.error();
    const ProfileWrite write = profileWrite(address, reading->values, profile);
    QJsonObject object = moduleObject(call, address);
    if (write.request.isEmpty()) {
        if (call.json) {
            object.insert(QStringLiteral("changed"), QJsonObject {});
            console.print(object);
        } else {
            console.out << "the module holds every value of " << fileName(call.arguments.front())
                        << " already; nothing written" << Qt::endl;
        }
        return kDone;
    }
    const Answer answer = master.ask(write.request);
    if (!answer.ok())
        return console.say(moduleReport(call, address, answer));
    if (call.json) {
        object.insert(QStringLiteral("changed"), changedJson(reading->values, write.after));
        console.print(object);
        return kDone;
    }
    for (const device::ParameterId id : printOrder()) {
        const device::Parameter& p = device::parameter(id);
        const device::Units before = reading->values[device::indexOf(id)];
        if (before != write.after[device::indexOf(id)] && writable(p))
            console.out << line(quoting::latin1(p.name),
                shownValue(p, before) + QStringLiteral(" -> ")
                    + heldValue(*assignmentOf(profile, id)))
                        << Qt::endl;
    }
    return kDone;
}

int verify(
    const Invocation& call, Master& master, Console& console, const Profile& profile, int address)
{
    // As set and apply head each module's block, a module that fails included: the failure on
    // stderr then follows its header.
    printModuleHeader(call, console, address);
    const auto reading = readModule(call, master, console, address);
    if (!reading)
        return reading.error();
    QJsonObject differences;
    QStringList lines;
    for (const device::ParameterId id : printOrder()) {
        const Assignment* a = assignmentOf(profile, id);
        const device::Units held = reading->values[device::indexOf(id)];
        if (!a || held == a->units)
            continue;
        const device::Parameter& p = *a->parameter;
        const QString name = quoting::latin1(p.name);
        differences.insert(name,
            QJsonObject { { QStringLiteral("file"), jsonValue(p, a->units) },
                { QStringLiteral("module"), jsonValue(p, held) } });
        lines << QStringLiteral("%1: file %2, module %3")
                     .arg(name, heldValue(*a), shownValue(p, held));
    }
    if (call.json) {
        console.print(QJsonObject { { QStringLiteral("address"), address },
            { QStringLiteral("ok"), true }, { QStringLiteral("differences"), differences } });
    } else {
        if (lines.isEmpty())
            console.out << "the module holds every value of " << fileName(call.arguments.front())
                        << Qt::endl;
        else
            console.out << lines.join(u'\n') << Qt::endl;
    }
    return lines.isEmpty() ? kDone : kModuleFault;
}

} // namespace

namespace {

// What apply and verify do to each module of the call, once the file is good.
using ProfileStep = int (*)(const Invocation&, Master&, Console&, const Profile&, int address);

int serveProfile(const Invocation& call, Console& console, ProfileStep step)
{
    const auto profile = profileOfCall(call, console);
    if (!profile)
        return profile.error();
    CallMaster master(call, console.err);
    return serveModules(call, master, console,
        [&](int address) { return step(call, master, console, *profile, address); });
}

} // namespace

int applyCommand(const Invocation& call, Console& console)
{
    return serveProfile(call, console, applyTo);
}

int verifyCommand(const Invocation& call, Console& console)
{
    return serveProfile(call, console, verify);
}

} // namespace cli
