#include "mqtt_handle.h"

#include "ca_file.h"

#include "device/parameter_value.h"
#include "text/quoted_text.h"

#include <cerrno>
#include <cstring>

namespace cli {

namespace {

constexpr char kOffline[] = "offline";

std::optional<QString> setUpTls(
    const MosquittoApi& api, const MqttSettings& settings, mosquitto* handle)
{
    if (!settings.broker.tls)
        return std::nullopt;
    int rc = MOSQ_ERR_SUCCESS;
    if (settings.caFile.isEmpty()) {
        rc = api.int_option(handle, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    } else {
        if (auto fault = caFileFault(settings.caFile))
            return fault;
        const QByteArray ca = settings.caFile.toLocal8Bit();
        rc = api.tls_set(handle, ca.constData(), nullptr, nullptr, nullptr, nullptr);
    }
    if (rc == MOSQ_ERR_SUCCESS)
        return std::nullopt;
    return QStringLiteral("libmosquitto refuses TLS with %1 (%2)")
        .arg(settings.caFile.isEmpty() ? QStringLiteral("the system's certificates")
                                       : quoting::escapedControls(settings.caFile),
            mosquittoFailure(api, settings, rc, errno));
}

std::optional<QString> setUp(
    const MosquittoApi& api, const MqttSettings& settings, mosquitto* handle, int mostInFlight)
{
    const auto refuses = [&](int rc, const QString& what) -> std::optional<QString> {
        if (rc == MOSQ_ERR_SUCCESS)
            return std::nullopt;
        return QStringLiteral("libmosquitto refuses %1 (%2)")
            .arg(what, mosquittoFailure(api, settings, rc, errno));
    };
    if (auto no = refuses(api.int_option(handle, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311),
            QStringLiteral("MQTT 3.1.1")))
        return no;
    // A result is one small packet that someone waits for: Nagle's algorithm would hold it
    // until the broker acknowledged the packet before, tens of milliseconds.
    if (auto no = refuses(api.int_option(handle, MOSQ_OPT_TCP_NODELAY, 1),
            QStringLiteral("a connection without Nagle's algorithm")))
        return no;
    // As many on the wire as the outbox hands over.
    if (auto no = refuses(api.int_option(handle, MOSQ_OPT_SEND_MAXIMUM, mostInFlight),
            QStringLiteral("the number of publications in flight")))
        return no;
    if (!settings.broker.user.isEmpty()) {
        const QByteArray user = settings.broker.user.toUtf8();
        const QByteArray password = settings.password.toUtf8();
        if (auto no = refuses(api.username_pw_set(handle, user.constData(),
                                  settings.password.isEmpty() ? nullptr : password.constData()),
                QStringLiteral("the user name %1")
                    .arg(quoting::escapedControls(settings.broker.user))))
            return no;
    }
    if (auto no = setUpTls(api, settings, handle))
        return no;
    const QByteArray will = settings.willTopic.toUtf8();
    if (auto no = refuses(
            api.will_set(handle, will.constData(), int(sizeof kOffline) - 1, kOffline, 1, true),
            QStringLiteral("the will topic %1").arg(quoting::escapedControls(settings.willTopic))))
        return no;
    return std::nullopt;
}

} // namespace

MqttHandle newMqttHandle(
    const MosquittoApi& api, const MqttSettings& settings, void* owner, int mostInFlight)
{
    const QByteArray id = settings.clientId.toUtf8();
    errno = 0;
    mosquitto* handle = api.create(id.constData(), true, owner);
    if (!handle)
        return { nullptr,
            QStringLiteral("libmosquitto refuses the client id %1 (%2)")
                .arg(quoting::escapedControls(settings.clientId),
                    mosquittoFailure(api, settings, MOSQ_ERR_ERRNO, errno)) };
    if (auto fault = setUp(api, settings, handle, mostInFlight)) {
        api.destroy(handle);
        return { nullptr, *fault };
    }
    return { handle, {} };
}

QString mosquittoFailure(const MosquittoApi& api, const MqttSettings& settings, int rc, int error)
{
    if (rc == MOSQ_ERR_EAI)
        return QStringLiteral("the name %1 does not resolve")
            .arg(quoting::escapedControls(settings.broker.host));
    QString said = rc == MOSQ_ERR_ERRNO && error != 0
        ? QString::fromLocal8Bit(std::strerror(error)).toLower()
        : QString::fromUtf8(api.strerror(rc)).toLower();
    if (said.endsWith(u'.'))
        said.chop(1);
    return said;
}

} // namespace cli
