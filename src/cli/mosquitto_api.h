#pragma once

#include <QString>

#include <mosquitto.h>

#include <optional>

// libmosquitto, loaded when the bridge starts and not before: linked in, it would bring
// libssl and libcrypto to every call of pwm5ctl, a read of a module included. The header gives
// the types; the functions are found by name in libmosquitto.so.1.
namespace cli {

struct MosquittoApi {
    decltype(&::mosquitto_lib_init) lib_init;
    decltype(&::mosquitto_new) create;
    decltype(&::mosquitto_destroy) destroy;
    decltype(&::mosquitto_int_option) int_option;
    decltype(&::mosquitto_username_pw_set) username_pw_set;
    decltype(&::mosquitto_tls_set) tls_set;
    decltype(&::mosquitto_will_set) will_set;
    decltype(&::mosquitto_connect_async) connect_async;
    decltype(&::mosquitto_reconnect_async) reconnect_async;
    decltype(&::mosquitto_disconnect) disconnect;
    decltype(&::mosquitto_publish) publish;
    decltype(&::mosquitto_subscribe) subscribe;
    decltype(&::mosquitto_socket) socket;
    decltype(&::mosquitto_loop_read) loop_read;
    decltype(&::mosquitto_loop_write) loop_write;
    decltype(&::mosquitto_loop_misc) loop_misc;
    decltype(&::mosquitto_want_write) want_write;
    decltype(&::mosquitto_connect_callback_set) connect_callback_set;
    decltype(&::mosquitto_disconnect_callback_set) disconnect_callback_set;
    decltype(&::mosquitto_message_callback_set) message_callback_set;
    decltype(&::mosquitto_publish_callback_set) publish_callback_set;
    decltype(&::mosquitto_subscribe_callback_set) subscribe_callback_set;
    decltype(&::mosquitto_strerror) strerror;
    decltype(&::mosquitto_connack_string) connack_string;
};

// The library's functions, found once; why not, when it cannot be loaded.
const MosquittoApi* mosquittoApi(QString& why);

} // namespace cli
