#pragma once

#include <QByteArrayView>
#include <QString>

#include <map>
#include <span>

namespace cli {

// Whether a new connection may go online: every subscription granted, and no other bridge
// online on the same will topic. The will topic is subscribed first; the broker hands its
// retained message before it answers the later subscriptions, so once every subscription is
// answered, what the will topic holds is known.
class MqttSession {
public:
    enum class Verdict {
        Waiting, // subscriptions not answered yet
        Ready,
        Refused, // the broker refused the subscription to filter()
        HeldElsewhere, // the will topic says online, and not for this process
    };

    void asked(int messageId, const QString& filter);
    // The SUBACK's granted QoS, one per filter of the request; 0x80 is a refusal.
    void answered(int messageId, std::span<const int> granted);
    void willMessage(QByteArrayView payload, bool retained);

    // saidOnline: this process has had its own "online" on the will topic acknowledged, so an
    // online there may be its own, left from a connection the broker has not seen die yet.
    Verdict verdict(bool saidOnline) const;
    // The first filter the broker refused.
    const QString& filter() const { return refused_; }

private:
    std::map<int, QString> waiting_; // message id -> filter
    QString refused_;
    bool willOnline_ = false;
};

} // namespace cli
