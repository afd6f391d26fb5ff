#include "mosquitto_api.h"

#include <QLibrary>

namespace cli {

namespace {

template <typename Function>
bool found(QLibrary& library, Function& function, const char* name, QString& missing)
{
    function = reinterpret_cast<Function>(library.resolve(name));
    if (!function && missing.isEmpty())
        missing = QString::fromLatin1(name);
    return function != nullptr;
}

std::optional<MosquittoApi> load(QString& why)
{
    QLibrary library(QStringLiteral("mosquitto"), 1);
    if (!library.load()) {
        why = QStringLiteral("the MQTT library libmosquitto.so.1 cannot be loaded (%1)")
                  .arg(library.errorString());
        return std::nullopt;
    }
    MosquittoApi api {};
    QString missing;
    found(library, api.lib_init, "mosquitto_lib_init", missing);
    found(library, api.create, "mosquitto_new", missing);
    found(library, api.destroy, "mosquitto_destroy", missing);
    found(library, api.int_option, "mosquitto_int_option", missing);
    found(library, api.username_pw_set, "mosquitto_username_pw_set", missing);
    found(library, api.tls_set, "mosquitto_tls_set", missing);
    found(library, api.will_set, "mosquitto_will_set", missing);
    found(library, api.connect_async, "mosquitto_connect_async", missing);
    found(library, api.reconnect_async, "mosquitto_reconnect_async", missing);
    found(library, api.disconnect, "mosquitto_disconnect", missing);
    found(library, api.publish, "mosquitto_publish", missing);
    found(library, api.subscribe, "mosquitto_subscribe", missing);
    found(library, api.socket, "mosquitto_socket", missing);
    found(library, api.loop_read, "mosquitto_loop_read", missing);
    found(library, api.loop_write, "mosquitto_loop_write", missing);
    found(library, api.loop_misc, "mosquitto_loop_misc", missing);
    found(library, api.want_write, "mosquitto_want_write", missing);
    found(library, api.connect_callback_set, "mosquitto_connect_callback_set", missing);
    found(library, api.disconnect_callback_set, "mosquitto_disconnect_callback_set", missing);
    found(library, api.message_callback_set, "mosquitto_message_callback_set", missing);
    found(library, api.publish_callback_set, "mosquitto_publish_callback_set", missing);
    found(library, api.subscribe_callback_set, "mosquitto_subscribe_callback_set", missing);
    found(library, api.strerror, "mosquitto_strerror", missing);
    found(library, api.connack_string, "mosquitto_connack_string", missing);
    if (!missing.isEmpty()) {
        why = QStringLiteral("the MQTT library libmosquitto.so.1 lacks %1").arg(missing);
        return std::nullopt;
    }
    api.lib_init();
    return api;
}

} // namespace

const MosquittoApi* mosquittoApi(QString& why)
{
    static QString failure;
    static const std::optional<MosquittoApi> api = load(failure);
    why = failure;
    return api ? &*api : nullptr;
}

} // namespace cli
