#include "apply_file.h"

#include "reading_output.h"

#include "device/parameter_value.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

namespace cli {

namespace {

using Assignments = std::vector<Assignment>;

// apply leaves these as they are: the module measures the supply, and the address and the
// baud rate have commands of their own.
const QStringList kIgnoredKeys { "address", "baud_rate", "baud_code", "supply_voltage" };

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

// The value at a place of the file (channel -1 for the module-wide keys), checked.
Result<Assignment> assignmentAt(int channel, const QString& key, const QJsonValue& value)
{
    const device::Parameter* p = writtenAt(channel, key);
    const QString where = device::quotedValue(
        channel < 0 ? key : QStringLiteral("channels[%1].%2").arg(channel).arg(key));
    if (!p)
        return Result<Assignment>::failure(QStringLiteral("unknown key %1").arg(where));
    const auto text = typedText(*p, value);
    if (!text)
        return Result<Assignment>::failure(
            QStringLiteral("%1 is not %2")
                .arg(where,
                    p->kind == device::Kind::Switch ? QStringLiteral("true or false")
                                                    : QStringLiteral("a number")));
    const device::TypedValue typed = device::typedValue(*p, *text, device::Bounds::Strict);
    if (!typed)
        return Result<Assignment>::failure(device::valueErrorText(*p, *text, typed.error));
    return Assignment { p, typed.units };
}

// The values of "channels": a list of at most five objects, channel 1 first.
std::optional<QString> takeChannels(const QJsonValue& channels, Assignments& assignments)
{
    const QJsonArray list = channels.toArray();
    if (!channels.isArray() || list.size() > static_cast<qsizetype>(device::kChannelCount))
        return QStringLiteral("channels is not a list of at most %1 channels")
            .arg(device::kChannelCount);
    for (int channel = 0; channel < list.size(); ++channel) {
        if (!list[channel].isObject())
            return QStringLiteral("channels[%1] is not an object").arg(channel);
        const QJsonObject values = list[channel].toObject();
        for (auto value = values.begin(); value != values.end(); ++value) {
            const auto assignment = assignmentAt(channel, value.key(), value.value());
            if (!assignment)
                return assignment.error();
            assignments.push_back(*assignment);
        }
    }
    return std::nullopt;
}

} // namespace

bool writable(const device::Parameter& p)
{
    return p.settable && p.kind != device::Kind::BaudCode;
}

Result<QByteArray> applyFileContent(const QString& path)
{
    // QFile would open no file and warn on stderr.
    if (path.isEmpty())
        return Result<QByteArray>::failure(QStringLiteral("apply needs one FILE (- for stdin)"));
    QFile file(path);
    const bool opened
        = path == u"-" ? file.open(stdin, QIODevice::ReadOnly) : file.open(QIODevice::ReadOnly);
    if (!opened)
        return Result<QByteArray>::failure(QStringLiteral("%1: %2").arg(path, file.errorString()));
    return file.readAll();
}

Result<Assignments> applyFileAssignments(const QByteArray& content)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(content, &error);
    if (!document.isObject())
        return Result<Assignments>::failure(
            QStringLiteral("not a JSON object as read --json prints (%1)")
                .arg(error.error == QJsonParseError::NoError ? QStringLiteral("no object")
                                                             : error.errorString()));
    Assignments assignments;
    const QJsonObject file = document.object();
    for (auto it = file.begin(); it != file.end(); ++it) {
        if (kIgnoredKeys.contains(it.key()))
            continue;
        if (it.key() == u"channels") {
            if (const auto wrong = takeChannels(it.value(), assignments))
                return Result<Assignments>::failure(*wrong);
            continue;
        }
        const auto assignment = assignmentAt(-1, it.key(), it.value());
        if (!assignment)
            return Result<Assignments>::failure(assignment.error());
        assignments.push_back(*assignment);
    }
    return assignments;
}

} // namespace cli
