#include "mqtt_session.h"

#include <algorithm>

namespace cli {

namespace {

// SUBACK's code of a refused subscription (MQTT 3.1.1); MQTT 5's reason codes are 0x80 up.
constexpr int kSubscriptionRefused = 0x80;

} // namespace

void MqttSession::asked(int messageId, const QString& filter)
{
    waiting_[messageId] = filter;
}

void MqttSession::answered(int messageId, std::span<const int> granted)
{
    const auto found = waiting_.find(messageId);
    if (found == waiting_.end())
        return;
    const bool refused = granted.empty()
        || std::ranges::any_of(granted, [](int qos) { return qos >= kSubscriptionRefused; });
    if (refused && refused_.isEmpty())
        refused_ = found->second;
    waiting_.erase(found);
}

void MqttSession::willMessage(QByteArrayView payload, bool retained)
{
    if (retained)
        willOnline_ = payload == QByteArrayView("online");
}

MqttSession::Verdict MqttSession::verdict(bool saidOnline) const
{
    if (!refused_.isEmpty())
        return Verdict::Refused;
    if (!waiting_.empty())
        return Verdict::Waiting;
    return willOnline_ && !saidOnline ? Verdict::HeldElsewhere : Verdict::Ready;
}

} // namespace cli
