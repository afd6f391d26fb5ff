#pragma once

#include "invocation.h"

#include <QString>

#include <optional>

namespace cli {

// The bridge's topics of the call: the prefix, its default made from the port when --topic is
// not given, checked with the discovery prefix against what MQTT carries. Why they cannot be,
// or nothing.
std::optional<QString> bridgeTopicsRefusal(Invocation& call, bool topicGiven);

} // namespace cli
