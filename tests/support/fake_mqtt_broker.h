#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QtGlobal>

#include <atomic>
#include <mutex>
#include <thread>

// A broker that misbehaves on purpose, on 127.0.0.1 at a port of its own, served by a thread of
// its own (so it answers while the test blocks on a child process): it records when each
// client connected, every byte it received and what was published to it.
class FakeMqttBroker {
public:
    enum class Behaviour {
        Silent, // takes the connection, reads, never answers
        ConnackThenClose, // answers CONNECT with CONNACK (accepted), then closes at once
        // Accepts, refuses every subscription with a wildcard (SUBACK 0x80) and grants the
        // others, acknowledges publications, answers pings, as a broker with an ACL does.
        RefusesWildcards,
    };

    explicit FakeMqttBroker(Behaviour behaviour);
    ~FakeMqttBroker();
    FakeMqttBroker(const FakeMqttBroker&) = delete;
    FakeMqttBroker& operator=(const FakeMqttBroker&) = delete;

    // 0 when it could not listen.
    quint16 port() const { return port_; }
    // When each connection was accepted, in ms since the broker started.
    QList<qint64> acceptTimes() const;
    QByteArray received() const;
    // "TOPIC=PAYLOAD" of each PUBLISH, in order.
    QStringList published() const;

private:
    struct Client {
        QByteArray pending; // what it sent so far
        bool closed = false;
    };

    void serve();
    void serveClient(int fd, Client& client);
    // Answers one whole packet; false when the connection is to close.
    bool answer(int fd, quint8 header, QByteArrayView body);

    Behaviour behaviour_;
    int listener_ = -1;
    int wake_[2] = { -1, -1 }; // a pipe that ends the thread
    quint16 port_ = 0;
    mutable std::mutex lock_;
    QList<qint64> accepts_;
    QByteArray received_;
    QStringList published_;
    std::thread thread_;
};
