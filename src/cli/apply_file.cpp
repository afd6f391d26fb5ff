#include "apply_file.h"

#include "bounded_read.h"
#include "reading_output.h"
#include "repeated_keys.h"

#include "device/parameter_value.h"
#include "ports/file_kind.h"
#include "text/quoted_text.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <algorithm>
#include <array>
#include <set>

namespace cli {

namespace {

using Assignments = std::vector<Assignment>;

// Keys of a read --json line that a profile holds but apply does not write, and why.
struct UnwrittenKey {
    const char* key;
    Unwritten why;
};
constexpr std::array<UnwrittenKey, 4> kUnwrittenKeys { {
    { "address", Unwritten::ByAddressCommand },
    { "baud_rate", Unwritten::ByBaudCommand },
    { "baud_code", Unwritten::ByBaudCommand },
    { "supply_voltage", Unwritten::Measured },
} };

// Keys of a read --json line that are about the reading, not the module: passed over silently.
const QStringList kReadingKeys { "ok", "time" };

const UnwrittenKey* unwrittenKey(const QString& key)
{
    const auto found = std::ranges::find_if(
        kUnwrittenKeys, [&key](const UnwrittenKey& k) { return key == QLatin1String(k.key); });
    return found == kUnwrittenKeys.end() ? nullptr : &*found;
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

// The parameter at a place of the file, if apply writes it: a key of the nested form
// (channel 0 to 4 in "channels", -1 at the top), or a script name at the top ("ch1.duty").
const device::Parameter* writtenAt(int channel, const QString& key)
{
    for (const device::Parameter& p : device::kParameters) {
        const JsonPlace place = jsonPlace(p);
        if ((place.channel == channel && place.key == key)
            || (channel < 0 && quoting::latin1(p.name) == key))
            return writable(p) ? &p : nullptr;
    }
    return nullptr;
}

// The value at a place of the file (channel -1 for the module-wide keys), checked.
Result<Assignment> assignmentAt(int channel, const QString& key, const QJsonValue& value)
{
    const device::Parameter* p = writtenAt(channel, key);
    const QString where = quoting::quotedValue(
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
    // 12.34 V is written as 12.3 V, as the window rounds it; the output names both.
    const bool exact
        = !value.isDouble() || jsonValue(*p, typed.units).toDouble() == value.toDouble();
    return Assignment { p, typed.units, exact ? QString() : *text };
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

QString unwrittenText(Unwritten why)
{
    switch (why) {
    case Unwritten::ByAddressCommand:
        return QStringLiteral("the address command changes it");
    case Unwritten::ByBaudCommand:
        return QStringLiteral("the baud command changes it");
    case Unwritten::Measured:
        return QStringLiteral("the module measures it");
    }
    return {};
}

QString ignoredText(const IgnoredKey& ignored)
{
    return QStringLiteral("%1 is ignored: %2").arg(ignored.key, unwrittenText(ignored.why));
}

bool writable(const device::Parameter& p)
{
    return p.settable && p.kind != device::Kind::BaudCode;
}

QString fileName(const QString& path)
{
    // Whole: a path cut short names another file.
    return path == u"-" ? QStringLiteral("stdin") : quoting::escapedControls(path);
}

Result<QByteArray> applyFileContent(const QString& path)
{
    // QFile would open no file and warn on stderr.
    if (path.isEmpty())
        return Result<QByteArray>::failure(QStringLiteral("no FILE given (- for stdin)"));
    const bool fromStdin = path == u"-";
    const QString name = fileName(path);
    QFile file;
    QString why;
    const line::FileKind kind = fromStdin
        ? (file.open(stdin, QIODevice::ReadOnly) ? line::kindOf(file) : line::FileKind::Missing)
        : line::openForReading(path, file, &why);
    if (kind == line::FileKind::Missing || kind == line::FileKind::Folder)
        return Result<QByteArray>::failure(QStringLiteral("%1: %2").arg(
            name, kind == line::FileKind::Folder ? QStringLiteral("is a folder") : why));

    // A regular file is read as it is; stdin (a pipe, a terminal) may take its time; a device or
    // a FIFO may never end and is given a few seconds.
    BoundedRead read;
    if (kind == line::FileKind::Regular)
        read.bytes = file.read(kApplyInputLimit + 1);
    else
        read = readBounded(file, kApplyInputLimit,
            fromStdin ? std::nullopt : std::optional(kApplyInputSeconds * 1000));
    if (read.bytes.size() > kApplyInputLimit)
        read.end = ReadEnd::TooLong;
    switch (read.end) {
    case ReadEnd::Whole:
        return read.bytes;
    case ReadEnd::TooLong:
        return Result<QByteArray>::failure(
            QStringLiteral("%1: longer than %2 MiB, the most a FILE may hold")
                .arg(name)
                .arg(kApplyInputLimit >> 20));
    case ReadEnd::TimedOut:
        return Result<QByteArray>::failure(QStringLiteral("%1 (%2) did not end within %3 s")
                                               .arg(name, line::kindText(kind))
                                               .arg(kApplyInputSeconds));
    case ReadEnd::Stopped:
        return Result<QByteArray>::failure(QStringLiteral("%1: reading stopped").arg(name));
    case ReadEnd::Failed:
        break;
    }
    return Result<QByteArray>::failure(
        QStringLiteral("%1: %2").arg(name, qt_error_string(read.error)));
}

namespace {

// The values of one object of the file: the top, or the "changed" object that apply and set
// print, which holds script names only.
std::optional<QString> takeObject(const QJsonObject& object, bool top, Profile& profile)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString& key = it.key();
        if (top && kReadingKeys.contains(key))
            continue;
        if (const UnwrittenKey* unwritten = unwrittenKey(key)) {
            profile.ignored.push_back({ key, unwritten->why });
            continue;
        }
        if (top && key == u"channels") {
            if (const auto wrong = takeChannels(it.value(), profile.assignments))
                return wrong;
            continue;
        }
        if (top && key == u"changed" && it.value().isObject()) {
            if (const auto wrong = takeObject(it.value().toObject(), false, profile))
                return wrong;
            continue;
        }
        const auto assignment = assignmentAt(-1, key, it.value());
        if (!assignment)
            return assignment.error();
        profile.assignments.push_back(*assignment);
    }
    return std::nullopt;
}

} // namespace

Result<Profile> applyFileProfile(const QByteArray& content)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(content, &error);
    if (!document.isObject())
        return Result<Profile>::failure(
            QStringLiteral("not a JSON object as read --json prints (%1)")
                .arg(error.error == QJsonParseError::NoError ? QStringLiteral("no object")
                                                             : error.errorString()));
    const KeyScan keys = scannedKeys(content);
    if (keys.outcome == KeyScan::Outcome::Twice)
        return Result<Profile>::failure(
            QStringLiteral("key %1 is given twice; a file gives each value once")
                .arg(quoting::quotedValue(keys.place)));
    // Never so for a text QJsonDocument read; were it so, no key would be checked.
    if (keys.outcome == KeyScan::Outcome::Malformed)
        return Result<Profile>::failure(QStringLiteral("not a JSON object as read --json prints"));
    Profile profile;
    if (const auto wrong = takeObject(document.object(), true, profile))
        return Result<Profile>::failure(*wrong);
    // The same parameter in two forms: ch1.duty and channels[0].duty.
    std::set<device::ParameterId> given;
    for (const Assignment& a : profile.assignments)
        if (!given.insert(a.parameter->id).second)
            return Result<Profile>::failure(
                QStringLiteral("%1 is given twice; a file gives each value once")
                    .arg(quoting::latin1(a.parameter->name)));
    return profile;
}
} // namespace cli
