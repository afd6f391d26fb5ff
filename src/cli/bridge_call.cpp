#include "bridge_call.h"

#include "bridge_discovery.h"
#include "bridge_topics.h"

#include "device/parameter_value.h"
#include "text/quoted_text.h"

#include <algorithm>

namespace cli {

namespace {

using Wrong = std::optional<QString>;

// A prefix of topics, or why not: --topic "a/+/b" holds a wildcard, + or #.
Wrong prefixRefusal(const char* option, const QString& prefix)
{
    if (const auto why = topicPrefixRefusal(prefix))
        return QStringLiteral("%1 \"%2\" %3")
            .arg(QLatin1String(option), quoting::quotedValue(prefix), *why);
    return std::nullopt;
}

// Topics beyond what MQTT carries, or nothing. The prefix's own topics are its alone; the
// discovery configs' are made of both prefixes.
Wrong topicLengthRefusal(const Invocation& call)
{
    const Topics topics { call.topicPrefix };
    const qsizetype own = longestTopicBytes(topics, std::nullopt);
    const qsizetype all = call.discovery ? longestTopicBytes(topics, call.discoveryPrefix) : own;
    if (std::max(own, all) <= kMostTopicBytes)
        return std::nullopt;
    const QString which = own > kMostTopicBytes
        ? QStringLiteral("--topic \"%1\" makes").arg(quoting::quotedValue(call.topicPrefix))
        : QStringLiteral("--topic \"%1\" and --discovery-prefix \"%2\" make")
              .arg(quoting::quotedValue(call.topicPrefix),
                  quoting::quotedValue(call.discoveryPrefix));
    return QStringLiteral("%1 topics of up to %2 bytes of UTF-8; MQTT takes at most %3")
        .arg(which, QString::number(std::max(own, all)), QString::number(kMostTopicBytes));
}

} // namespace

std::optional<QString> bridgeTopicsRefusal(Invocation& call, bool topicGiven)
{
    if (!topicGiven)
        call.topicPrefix = defaultTopicPrefix(call.port);
    if (const Wrong why = prefixRefusal("--topic", call.topicPrefix))
        return why;
    if (const Wrong why = prefixRefusal("--discovery-prefix", call.discoveryPrefix))
        return why;
    return topicLengthRefusal(call);
}

} // namespace cli
