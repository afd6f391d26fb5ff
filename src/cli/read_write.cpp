// read, set and apply: the module's parameters by name.

#include "commands.h"
#include "device/parameter_value.h"
#include "device/requests.h"
#include "reading_output.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <vector>

namespace cli {

namespace {

// A parameter and the value to write, checked.
struct Assignment {
    const device::Parameter* parameter;
    device::Units units;
};

// apply leaves these as they are: the module measures the supply, and the address and the
// baud rate have commands of their own.
const QStringList kIgnoredKeys { "address", "baud_rate", "baud_code", "supply_voltage" };

bool writable(const device::Parameter& p)
{
    return p.settable && p.kind != device::Kind::BaudCode;
}

// A value of a read --json file, as its text would be typed: numbers as the shortest decimal
// that reads back as the same double, switches as true or false.
std::optional<QString> typedText(const device::Parameter& p, const QJsonValue& value)
{
    if (p.kind == device::Kind::Switch)
        return value.isBool() ? std::optional(QString::fromLatin1(value.toBool() ? "1" : "0"))
                              : std::nullopt;
    if (!value.isDouble())
        return std::nullopt;
    return QString::number(value.toDouble(), 'f', QLocale::FloatingPointShortest);
}

// The parameter at a place of the file, if apply writes it.
const device::Parameter* writtenAt(int channel, const QString& key)
{
    for (const device::Parameter& p : device::kParameters) {
        const JsonPlace place = jsonPlace(p);
        if (place.channel == channel && place.key == key)
            return writable(p) ? &p : nullptr;
    }
    return nullptr;
}

// Every value a read --json file gives for apply, or what is wrong with it.
std::optional<std::vector<Assignment>> fileAssignments(const QJsonObject& file, QString* wrong)
{
    std::vector<Assignment> assignments;
    const auto take = [&](int channel, const QString& key, const QJsonValue& value) {
        const device::Parameter* p = writtenAt(channel, key);
        const QString where
            = channel < 0 ? key : QStringLiteral("channels[%1].%2").arg(channel).arg(key);
        if (!p) {
            *wrong = QStringLiteral("unknown key %1").arg(where);
            return false;
        }
        const auto text = typedText(*p, value);
        if (!text) {
            *wrong = QStringLiteral("%1 is not %2")
                         .arg(where,
                             p->kind == device::Kind::Switch ? QStringLiteral("true or false")
                                                             : QStringLiteral("a number"));
            return false;
        }
        const device::TypedValue typed = device::typedValue(*p, *text, device::Bounds::Strict);
        if (!typed) {
            *wrong = device::valueErrorText(*p, *text, typed.error);
            return false;
        }
        assignments.push_back({ p, typed.units });
        return true;
    };
    for (auto it = file.begin(); it != file.end(); ++it) {
        if (kIgnoredKeys.contains(it.key()))
            continue;
        if (it.key() != u"channels") {
            if (!take(-1, it.key(), it.value()))
                return std::nullopt;
            continue;
        }
        const QJsonArray channels = it.value().toArray();
        if (!it.value().isArray()
            || channels.size() > static_cast<qsizetype>(device::kChannelCount)) {
            *wrong = QStringLiteral("channels is not a list of at most %1 channels")
                         .arg(device::kChannelCount);
            return std::nullopt;
        }
        for (int channel = 0; channel < channels.size(); ++channel) {
            if (!channels[channel].isObject()) {
                *wrong = QStringLiteral("channels[%1] is not an object").arg(channel);
                return std::nullopt;
            }
            const QJsonObject values = channels[channel].toObject();
            for (auto value = values.begin(); value != values.end(); ++value)
                if (!take(channel, value.key(), value.value()))
                    return std::nullopt;
        }
    }
    return assignments;
}

std::optional<QByteArray> fileContent(const QString& path, QString* wrong)
{
    QFile file(path);
    const bool opened
        = path == u"-" ? file.open(stdin, QIODevice::ReadOnly) : file.open(QIODevice::ReadOnly);
    if (!opened) {
        *wrong = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    return file.readAll();
}

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
                QStringLiteral("%1 is not NAME=VALUE with a parameter's name").arg(argument));
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
    QString wrong;
    const auto content = fileContent(path, &wrong);
    if (!content)
        return console.fail(kWrongCall, wrong);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(*content, &error);
    if (!document.isObject())
        return console.fail(kWrongCall,
            QStringLiteral("%1: not a JSON object as read --json prints (%2)")
                .arg(path,
                    error.error == QJsonParseError::NoError ? QStringLiteral("no object")
                                                            : error.errorString()));
    const auto assignments = fileAssignments(document.object(), &wrong);
    if (!assignments)
        return console.fail(kWrongCall, QStringLiteral("%1: %2").arg(path, wrong));

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
