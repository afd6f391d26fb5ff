// Any bytes as a file for apply and verify. The scan for keys given twice reads no byte beyond
// them (libFuzzer's copy of the input is exactly its size) and agrees with QJsonDocument, which
// keeps the last of two equal keys: it reads every text QJsonDocument reads, and finds a key
// given twice exactly when QJsonDocument drops one. Written out again without repeats, the text
// holds each key once; with one key repeated, the scan names it and the profile is refused for
// it. A profile that is taken writes each parameter once, within its range.
//
// Input: the file's bytes. Their number picks the object whose first key is repeated.

#include "fuzz_check.h"

#include "cli/apply_file.h"
#include "cli/repeated_keys.h"
#include "device/parameter_value.h"
#include "text/quoted_text.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSet>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <set>

namespace {

using fuzzcheck::require;
using Outcome = cli::KeyScan::Outcome;

// Every key of every object in the value, as QJsonDocument keeps them.
qsizetype keptKeys(const QJsonValue& value)
{
    qsizetype keys = 0;
    if (value.isObject()) {
        keys += value.toObject().size();
        for (const QJsonValue member : value.toObject())
            keys += keptKeys(member);
    } else if (value.isArray()) {
        for (const QJsonValue element : value.toArray())
            keys += keptKeys(element);
    }
    return keys;
}

qsizetype objectsWithKeys(const QJsonValue& value)
{
    qsizetype objects = 0;
    if (value.isObject() && !value.toObject().isEmpty())
        ++objects;
    if (value.isObject())
        for (const QJsonValue member : value.toObject())
            objects += objectsWithKeys(member);
    if (value.isArray())
        for (const QJsonValue element : value.toArray())
            objects += objectsWithKeys(element);
    return objects;
}

// Whether an object holds two keys that read the same. QJsonDocument compares keys as their
// UTF-8 bytes while it reads, but drops a byte order mark that begins one when it hands it
// out: "\uFEFFduty" and "duty" are two keys that both read "duty". Written out, they are one
// key given twice, as they should be.
bool readsAKeyTwice(const QJsonValue& value)
{
    if (value.isArray()) {
        for (const QJsonValue element : value.toArray())
            if (readsAKeyTwice(element))
                return true;
        return false;
    }
    if (!value.isObject())
        return false;
    QSet<QString> keys;
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it)
        if (keys.contains(it.key()) || readsAKeyTwice(it.value()))
            return true;
        else
            keys.insert(it.key());
    return false;
}

// A scalar or a string as QJsonDocument writes it.
QByteArray scalarText(const QJsonValue& value)
{
    const QByteArray list = QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact);
    return list.sliced(1, list.size() - 2);
}

// Which object gets its first key twice, and where that key then stands, named as the scan
// names it ("channels[0].duty"); written apart from the scan's own way of naming it.
struct Repeat {
    qsizetype objectsBefore; // objects with a key to pass over first; -1 for none
    QString place;
};

// The value as JSON, the repeat's object with its first key given first as null.
QByteArray written(const QJsonValue& value, const QString& at, Repeat& repeat)
{
    if (value.isArray()) {
        const QJsonArray list = value.toArray();
        QByteArray text = "[";
        for (qsizetype i = 0; i < list.size(); ++i)
            text += (i > 0 ? "," : "")
                + written(list[i], at + QStringLiteral("[%1]").arg(i), repeat);
        return text + ']';
    }
    if (!value.isObject())
        return scalarText(value);
    const QJsonObject object = value.toObject();
    const bool here = !object.isEmpty() && repeat.objectsBefore-- == 0;
    QByteArray text = "{";
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString place = at.isEmpty() ? it.key() : at + u'.' + it.key();
        const QByteArray key = scalarText(it.key());
        if (it == object.begin() && here) {
            text += key + ":null,";
            repeat.place = place;
        }
        text += (it == object.begin() ? "" : ",") + key + ':' + written(it.value(), place, repeat);
    }
    return text + '}';
}

bool refusedForRepeat(const cli::Result<cli::Profile>& profile)
{
    return !profile && profile.error().startsWith(QLatin1String("key "))
        && profile.error().endsWith(QLatin1String(" is given twice; a file gives each value once"));
}

void checkTaken(const cli::Profile& profile)
{
    std::set<device::ParameterId> given;
    for (const cli::Assignment& a : profile.assignments) {
        require(cli::writable(*a.parameter), "a profile writes only what apply writes");
        require(given.insert(a.parameter->id).second, "a profile writes each parameter once");
        require(static_cast<std::int64_t>(a.units) >= a.parameter->lowest
                && static_cast<std::int64_t>(a.units) <= a.parameter->highest,
            "a profile writes each value within its range");
    }
}

// What QJsonDocument read, checked against the scan, then written out again both ways.
void checkAgainstQt(const QJsonDocument& document, const cli::KeyScan& scan, std::size_t size)
{
    const QJsonValue top
        = document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array());
    require(scan.outcome != Outcome::Malformed, "the scan reads every text QJsonDocument reads");
    const qsizetype kept = keptKeys(top);
    require(scan.keys >= kept, "QJsonDocument keeps no key the scan did not count");
    require((scan.outcome == Outcome::Twice) == (scan.keys > kept),
        "the scan finds a key given twice exactly when QJsonDocument drops one");

    if (readsAKeyTwice(top))
        return;
    Repeat none { -1, {} };
    const cli::KeyScan again = cli::scannedKeys(written(top, {}, none));
    require(again.outcome == Outcome::Unique && again.keys == kept,
        "QJsonDocument's keys, written out again, are each given once");

    const qsizetype objects = objectsWithKeys(top);
    if (objects == 0)
        return;
    Repeat repeat { static_cast<qsizetype>(size % static_cast<std::size_t>(objects)), {} };
    const QByteArray twice = written(top, {}, repeat);
    const cli::KeyScan found = cli::scannedKeys(twice);
    require(found.outcome == Outcome::Twice && found.place == repeat.place,
        "the scan names the key given twice where it was repeated");
    if (!document.isObject())
        return;
    const auto profile = cli::applyFileProfile(twice);
    require(refusedForRepeat(profile)
            && profile.error().contains(u' ' + quoting::quotedValue(repeat.place) + u' '),
        "a profile with a key given twice is refused, the key named");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const cli::KeyScan scan = cli::scannedKeys(bytes);
    require(scan.outcome != Outcome::Twice || scan.keys >= 2, "a key given twice is two keys");

    const QByteArray content = bytes.toByteArray();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(content, &error);
    if (error.error == QJsonParseError::NoError)
        checkAgainstQt(document, scan, size);

    const auto profile = cli::applyFileProfile(content);
    if (profile)
        checkTaken(*profile);
    if (scan.outcome == Outcome::Unique)
        require(
            !refusedForRepeat(profile), "a profile without a key given twice is not refused so");
    else if (scan.outcome == Outcome::Twice && document.isObject())
        require(refusedForRepeat(profile), "a profile with a key given twice is refused");
    return 0;
}
