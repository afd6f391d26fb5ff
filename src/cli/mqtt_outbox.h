#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

namespace cli {

// One publication as the bridge hands it to its connection.
struct Publication {
    QString topic;
    QByteArray payload;
    int qos = 1;
    bool retain = false;

    friend bool operator==(const Publication&, const Publication&) = default;
};

// What the connection still has to publish, apart from the library. A retained publication
// stands for its topic's whole truth: it replaces one on the same topic that has not gone
// yet. Any other (a command's result) keeps its place and is never dropped: the bridge stops
// taking commands while too many results wait (unsentResults()). At most kMostInFlight are
// handed over unacknowledged; a lost connection gives them back, to go first on the next.
class MqttOutbox {
public:
    static constexpr std::size_t kMostInFlight = 100;

    void add(Publication publication);
    // The next one to hand over, or null: none waits, or kMostInFlight are out.
    const Publication* next() const;
    // next() was handed over under this message id.
    void handed(int messageId);
    // The broker has the publication of this message id (PUBACK; for QoS 0, it was written):
    // which it was, if it was out.
    std::optional<Publication> acknowledged(int messageId);
    // The connection is gone: what was out and not acknowledged goes first on the next one,
    // in its order, but for a retained one that a newer publication on its topic replaces.
    void connectionLost();

    bool empty() const { return waiting_.empty() && inFlight_.empty(); }
    std::size_t waiting() const { return waiting_.size(); }
    std::size_t inFlight() const { return inFlight_.size(); }
    // Results, out or waiting, that the broker does not have yet.
    std::size_t unsentResults() const;

private:
    struct Handed {
        int messageId;
        Publication publication;
    };

    std::deque<Publication> waiting_;
    std::vector<Handed> inFlight_; // in the order handed over
};

} // namespace cli
