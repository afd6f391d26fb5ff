#include "apply_file.h"

#include "bounded_read.h"
#include "reading_output.h"

#include "device/parameter_value.h"
#include "link/file_kind.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSet>

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

// A key given twice in one object, as a message names it ("channels[1].duty"), or nothing.
// QJsonDocument keeps the last of two equal keys without a word, so the file is scanned for them
// first; content is JSON that parsed.
std::optional<QString> twiceGivenKey(const QByteArray& content)
{
    struct Level {
        bool object;
        QSet<QString> keys;
        QString key; // object: the key whose value is being read
        int index = 0; // list: the element being read
        bool expectKey = true;
    };
    std::vector<Level> levels;
    const auto place = [&levels](const QString& key) {
        QString text;
        for (std::size_t k = 0; k + 1 < levels.size(); ++k) {
            if (!levels[k].object)
                text += QStringLiteral("[%1]").arg(levels[k].index);
            else
                text += (text.isEmpty() ? QString() : QStringLiteral(".")) + levels[k].key;
        }
        return text.isEmpty() ? key : text + u'.' + key;
    };
    for (qsizetype i = 0; i < content.size(); ++i) {
        switch (content[i]) {
        case '{':
        case '[':
            levels.push_back({ content[i] == '{', {}, {} });
            break;
        case '}':
        case ']':
            levels.pop_back();
            break;
        case ',':
            if (levels.back().object)
                levels.back().expectKey = true;
            else
                ++levels.back().index;
            break;
        case '"': {
            qsizetype end = i + 1;
            while (content[end] != '"')
                end += content[end] == '\\' ? 2 : 1;
            if (!levels.back().object || !levels.back().expectKey) {
                i = end;
                break;
            }
            // The key as the parser reads it, escapes and all.
            const QString key = QJsonDocument::fromJson('[' + content.sliced(i, end + 1 - i) + ']')
                                    .array()
                                    .at(0)
                                    .toString();
            Level& level = levels.back();
            if (level.keys.contains(key))
                return device::quotedValue(place(key));
            level.keys.insert(key);
            level.key = key;
            level.expectKey = false;
            i = end;
            break;
        }
        default:
            break;
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
    const bool fromStdin = path == u"-";
    const QString name = fromStdin ? QStringLiteral("stdin") : path;
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
            QStringLiteral("%1: longer than %2 MiB, the most apply reads")
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

Result<Assignments> applyFileAssignments(const QByteArray& content)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(content, &error);
    if (!document.isObject())
        return Result<Assignments>::failure(
            QStringLiteral("not a JSON object as read --json prints (%1)")
                .arg(error.error == QJsonParseError::NoError ? QStringLiteral("no object")
                                                             : error.errorString()));
    if (const auto key = twiceGivenKey(content))
        return Result<Assignments>::failure(
            QStringLiteral("key %1 is given twice; a file gives each value once").arg(*key));
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
