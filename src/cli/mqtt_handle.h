#pragma once

#include "broker_address.h"
#include "mosquitto_api.h"

#include <QString>

#include <optional>

namespace cli {

// What the bridge's connection is made with.
struct MqttSettings {
    BrokerAddress broker;
    QString password; // empty: none
    QString caFile; // TLS: the CA certificates; empty: the system's store
    QString clientId;
    QString willTopic; // "offline" there, retained, when the connection dies
    // A message larger than this is not copied: its payload is empty, its size says.
    qsizetype mostPayload = 64 * 1024;
};

// A libmosquitto handle for one attempt, set up with every call checked (a refusal is said,
// never a crash or a connection without what was asked, TLS above all), or why there is none.
// The callbacks are the caller's to set.
struct MqttHandle {
    mosquitto* handle = nullptr;
    QString refusal; // when handle is null
};
MqttHandle newMqttHandle(
    const MosquittoApi& api, const MqttSettings& settings, void* owner, int mostInFlight);

// libmosquitto's failure rc (errno for MOSQ_ERR_ERRNO) in words, lower case.
QString mosquittoFailure(const MosquittoApi& api, const MqttSettings& settings, int rc, int error);

} // namespace cli
