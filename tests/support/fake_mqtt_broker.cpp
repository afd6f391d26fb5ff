#include "fake_mqtt_broker.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <vector>

namespace {

// CONNACK, session not present, connection accepted (MQTT 3.1.1).
constexpr char kConnack[] = { 0x20, 0x02, 0x00, 0x00 };

qint64 msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

FakeMqttBroker::FakeMqttBroker(Behaviour behaviour)
    : behaviour_(behaviour)
{
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::pipe2(wake_, O_CLOEXEC) != 0
        || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener_, 16) != 0
        || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

FakeMqttBroker::~FakeMqttBroker()
{
    if (thread_.joinable()) {
        (void)!::write(wake_[1], "x", 1);
        thread_.join();
    }
    for (const int fd : { listener_, wake_[0], wake_[1] })
        if (fd >= 0)
            ::close(fd);
}

QList<qint64> FakeMqttBroker::acceptTimes() const
{
    const std::lock_guard guard(lock_);
    return accepts_;
}

QByteArray FakeMqttBroker::received() const
{
    const std::lock_guard guard(lock_);
    return received_;
}

QStringList FakeMqttBroker::published() const
{
    const std::lock_guard guard(lock_);
    return published_;
}

// One poll over the wake pipe, the listener and the clients, until the pipe says stop.
void FakeMqttBroker::serve()
{
    const auto start = std::chrono::steady_clock::now();
    std::map<int, Client> clients;
    for (;;) {
        std::vector<pollfd> fds { { wake_[0], POLLIN, 0 }, { listener_, POLLIN, 0 } };
        for (const auto& [fd, pending] : clients)
            fds.push_back({ fd, POLLIN, 0 });
        if (::poll(fds.data(), fds.size(), -1) < 0 || fds[0].revents)
            break;
        if (fds[1].revents & POLLIN) {
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                const std::lock_guard guard(lock_);
                accepts_ << msSince(start);
                clients[fd];
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i)
            if (fds[i].revents)
                serveClient(fds[i].fd, clients[fds[i].fd]);
        std::erase_if(clients, [](const auto& client) { return client.second.closed; });
    }
    for (const auto& [fd, pending] : clients)
        ::close(fd);
}

// Reads what came, and answers each whole packet as the broker behaves.
void FakeMqttBroker::serveClient(int fd, Client& client)
{
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) {
        ::close(fd);
        client.closed = true;
        return;
    }
    {
        const std::lock_guard guard(lock_);
        received_.append(buffer, n);
    }
    QByteArray& pending = client.pending;
    pending.append(buffer, n);
    for (;;) {
        // The fixed header: the type, then the remaining length, 7 bits a byte, low first.
        qsizetype at = 1;
        qsizetype length = 0;
        for (int shift = 0; at < pending.size() && shift < 28; shift += 7) {
            const auto byte = quint8(pending[at++]);
            length |= qsizetype(byte & 0x7f) << shift;
            if (!(byte & 0x80))
                break;
        }
        if (pending.size() < 2 || at + length > pending.size() || (quint8(pending[at - 1]) & 0x80))
            return;
        const bool open
            = answer(fd, quint8(pending[0]), QByteArrayView(pending).sliced(at, length));
        pending.remove(0, at + length);
        if (!open) {
            ::close(fd);
            client.closed = true;
            return;
        }
    }
}

bool FakeMqttBroker::answer(int fd, quint8 header, QByteArrayView body)
{
    const auto send = [fd](QByteArray packet) { (void)!::write(fd, packet.data(), packet.size()); };
    const int type = header >> 4;
    if (type == 1 && behaviour_ != Behaviour::Silent) { // CONNECT
        send(QByteArray(kConnack, sizeof kConnack));
        return behaviour_ != Behaviour::ConnackThenClose;
    }
    if (behaviour_ != Behaviour::RefusesWildcards)
        return true;
    if (type == 8 && body.size() >= 2) { // SUBSCRIBE: the packet id, then filter and QoS pairs
        QByteArray suback = body.first(2).toByteArray();
        for (qsizetype at = 2; at + 2 <= body.size();) {
            const qsizetype length = quint8(body[at]) << 8 | quint8(body[at + 1]);
            const QByteArrayView filter
                = body.sliced(at + 2, std::min(length, body.size() - at - 2));
            const bool wildcard = filter.contains('+') || filter.contains('#');
            const qsizetype qos = at + 2 + length;
            suback += wildcard ? '\x80' : qos < body.size() ? body[qos] : '\0';
            at = qos + 1;
        }
        send(QByteArray(1, '\x90') + char(suback.size()) + suback);
    } else if (type == 3 && body.size() >= 2) { // PUBLISH: the topic, the id at QoS 1, payload
        const qsizetype length = quint8(body[0]) << 8 | quint8(body[1]);
        const int qos = (header >> 1) & 3;
        const qsizetype payload = 2 + length + (qos > 0 ? 2 : 0);
        {
            const std::lock_guard guard(lock_);
            published_ << QString::fromUtf8(body.sliced(2, length)) + u'='
                    + QString::fromUtf8(body.sliced(payload));
        }
        if (qos == 1)
            send(QByteArray("\x40\x02", 2) + body.sliced(2 + length, 2).toByteArray());
    } else if (type == 12) { // PINGREQ
        send(QByteArray("\xd0\x00", 2));
    } else if (type == 14) { // DISCONNECT
        return false;
    }
    return true;
}
