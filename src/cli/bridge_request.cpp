#include "bridge_request.h"

#include "device/parameter_value.h"
#include "text/quoted_text.h"

namespace cli {

namespace {

Result<Profile> refused(const QString& why)
{
    return Result<Profile>::failure(why);
}

// Which parameter a NAME is and why it cannot be set over MQTT when it cannot.
Result<Profile> bareValue(const QString& name, const QByteArray& payload)
{
    const device::Parameter* p = device::parameterNamed(name.toStdString());
    if (!p)
        return refused(QStringLiteral("unknown parameter \"%1\"").arg(quoting::quotedValue(name)));
    if (!p->settable)
        return refused(QStringLiteral("%1 is measured by the module; it is not set")
                           .arg(quoting::latin1(p->name)));
    if (!writable(*p))
        return refused(QStringLiteral("%1 is changed with the baud command, never over MQTT")
                           .arg(quoting::latin1(p->name)));
    QString text = QString::fromUtf8(payload);
    // Home Assistant's switches say ON and OFF.
    if (p->kind == device::Kind::Switch)
        text = text.toLower();
    const device::TypedValue typed = device::typedValue(*p, text, device::Bounds::Strict);
    if (!typed)
        return refused(device::valueErrorText(*p, text, typed.error));
    Profile profile;
    const bool exact
        = device::valueText(*p, typed.units) == text || p->kind != device::Kind::Number;
    profile.assignments.push_back({ p, typed.units, exact ? QString() : text });
    return profile;
}

} // namespace

Result<Profile> commandProfile(const QString& name, const QByteArray& payload)
{
    if (payload.size() > kMostCommandBytes)
        return refused(
            QStringLiteral("the message is larger than %1 KiB").arg(kMostCommandBytes >> 10));
    if (!name.isEmpty())
        return bareValue(name, payload);
    const auto profile = applyFileProfile(payload);
    if (!profile)
        return profile;
    // What apply passes over is refused here.
    if (!profile->ignored.empty())
        return refused(
            QStringLiteral("%1 is not set over MQTT: %2")
                .arg(profile->ignored.front().key, unwrittenText(profile->ignored.front().why)));
    if (profile->assignments.empty())
        return refused(QStringLiteral("the message sets no parameter"));
    return profile;
}

} // namespace cli
