// A device server that misbehaves on purpose, on 127.0.0.1 at a port the system picks, for the
// tests of the network line. It prints "listening PORT" once it takes connections, "accepted"
// for each client it takes, and while it floods "sent N" once it has sent N MiB, so that a
// test waits on what has happened.
//
//   hostile_server unclosed-sb            the settings answered, then IAC SB without end
//   hostile_server do-flood               the settings answered, then IAC DO without end, and
//                                         nothing the client sends is read any more
//   hostile_server line-flood             the settings never answered: line bytes without end
//   hostile_server silent                 takes the connection and never says a word
//   hostile_server reset                  takes the connection and resets it at once
//   hostile_server slow DEVICE [MS]       a small server: RFC 2217 in front of DEVICE for one
//                                         client at a time, the next taken MS (3000) after the
//                                         last one left
//   hostile_server rate-move DEVICE RATE  RFC 2217 in front of DEVICE until the first reply has
//                                         passed; the client's next bytes bring a notice that
//                                         the far line runs at RATE now, and nothing passes any
//                                         more, as at a wrong rate
//   hostile_server trickle DEVICE MS      RFC 2217 in front of DEVICE, the device's bytes passed
//                                         on one every MS milliseconds

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::uint8_t kIac = 0xFF, kDont = 0xFE, kDo = 0xFD, kWont = 0xFC, kWill = 0xFB,
                       kSb = 0xFA, kSe = 0xF0;
constexpr std::uint8_t kComPort = 44, kSetBaudRate = 1;

using Bytes = std::vector<std::uint8_t>;

bool sendAll(int fd, const Bytes& bytes)
{
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        at += static_cast<std::size_t>(n);
    }
    return true;
}

int listenOnLoopback()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(fd, 8) != 0)
        return -1;
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    std::printf("listening %u\n", ntohs(address.sin_port));
    std::fflush(stdout);
    return fd;
}

// The client's Telnet, read as far as a server needs it: its line bytes, and its
// COM-PORT-OPTION commands answered as a server answers them.
class ClientReader {
public:
    // What to send back for the bytes, and the line bytes in them.
    Bytes take(const std::uint8_t* bytes, std::size_t count, Bytes& data)
    {
        Bytes reply;
        for (std::size_t i = 0; i < count; ++i)
            step(bytes[i], reply, data);
        return reply;
    }
    // The last rate the client asked for, 0 before any.
    std::uint32_t rate() const { return rate_; }

private:
    enum class State { Data, Command, Option, Sub, SubIac };

    void step(std::uint8_t byte, Bytes& reply, Bytes& data)
    {
        switch (state_) {
        case State::Data:
            if (byte == kIac)
                state_ = State::Command;
            else
                data.push_back(byte);
            return;
        case State::Command:
            state_ = State::Data;
            if (byte == kIac)
                data.push_back(byte);
            else if (byte == kSb)
                sub_.clear(), state_ = State::Sub;
            else if (byte >= kWill && byte <= kDont)
                verb_ = byte, state_ = State::Option;
            return;
        case State::Option:
            state_ = State::Data;
            // Agreed to once: WILL is answered with DO, DO with WILL.
            if ((verb_ == kWill || verb_ == kDo) && !agreed_[verb_ - kWill][byte]) {
                agreed_[verb_ - kWill][byte] = true;
                reply.insert(reply.end(), { kIac, verb_ == kWill ? kDo : kWill, byte });
            }
            return;
        case State::Sub:
            if (byte == kIac)
                state_ = State::SubIac;
            else
                sub_.push_back(byte);
            return;
        case State::SubIac:
            if (byte == kIac) {
                sub_.push_back(byte);
                state_ = State::Sub;
                return;
            }
            state_ = State::Data;
            answer(reply);
            return;
        }
    }

    void answer(Bytes& reply)
    {
        if (sub_.size() < 2 || sub_[0] != kComPort)
            return;
        if (sub_[1] == kSetBaudRate && sub_.size() == 6)
            rate_ = std::uint32_t(sub_[2]) << 24 | std::uint32_t(sub_[3]) << 16
                | std::uint32_t(sub_[4]) << 8 | sub_[5];
        reply.insert(reply.end(), { kIac, kSb, kComPort, std::uint8_t(sub_[1] + 100) });
        for (std::size_t i = 2; i < sub_.size(); ++i) {
            reply.push_back(sub_[i]);
            if (sub_[i] == kIac)
                reply.push_back(kIac);
        }
        reply.insert(reply.end(), { kIac, kSe });
    }

    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    Bytes sub_;
    bool agreed_[4][256] {};
    std::uint32_t rate_ = 0;
};

// Reads the client until its settings have been answered; false when it left first.
bool answerSettings(int client)
{
    ClientReader reader;
    std::uint8_t buffer[4096];
    while (reader.rate() == 0) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        Bytes data;
        if (!sendAll(client, reader.take(buffer, static_cast<std::size_t>(n), data)))
            return false;
    }
    return true;
}

// Sends the opening, then the block again and again, saying how much has gone.
void flood(int client, const Bytes& opening, const Bytes& block)
{
    constexpr std::size_t kMiB = 1 << 20;
    if (!sendAll(client, opening))
        return;
    std::size_t sent = 0;
    std::size_t said = 0;
    while (sendAll(client, block)) {
        sent += block.size();
        if (sent / kMiB > said) {
            said = sent / kMiB;
            std::printf("sent %zu\n", said);
            std::fflush(stdout);
        }
    }
}

Bytes repeated(const Bytes& pattern, std::size_t times)
{
    Bytes out;
    for (std::size_t i = 0; i < times; ++i)
        out.insert(out.end(), pattern.begin(), pattern.end());
    return out;
}

void serveHostile(int listener, const std::string& mode)
{
    for (;;) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0)
            return;
        std::printf("accepted\n");
        std::fflush(stdout);
        if (mode == "reset") {
            // A close that lingers for no time resets the connection.
            const linger now { 1, 0 };
            ::setsockopt(client, SOL_SOCKET, SO_LINGER, &now, sizeof now);
        } else if (mode == "silent") {
            std::uint8_t buffer[4096];
            while (::recv(client, buffer, sizeof buffer, 0) > 0) { }
        } else if (mode == "line-flood") {
            flood(client, {}, Bytes(4096, 0x5A));
        } else if (answerSettings(client)) {
            if (mode == "unclosed-sb")
                flood(client, { kIac, kSb, kComPort }, Bytes(4096, 0x41));
            else
                flood(client, {}, repeated({ kIac, kDo, 0x20 }, 1365));
        }
        ::close(client);
    }
}

void setRate(int device, std::uint32_t rate)
{
    termios t {};
    if (::tcgetattr(device, &t) != 0)
        return;
    const speed_t speed = rate == 4800 ? B4800
        : rate == 19200                ? B19200
        : rate == 38400                ? B38400
        : rate == 57600                ? B57600
        : rate == 115200               ? B115200
                                       : B9600;
    ::cfsetspeed(&t, speed);
    ::tcsetattr(device, TCSANOW, &t);
}

// How a relay spoils the line: not at all, by moving the far line's rate after the first
// reply, or by passing the device's bytes on one at a time.
struct Spoiler {
    std::uint32_t moveTo = 0; // the rate the far line moves to; 0: it stays
    int trickleMs = 0; // between two bytes from the device; 0: as they come
};

Bytes escapedIac(const std::uint8_t* bytes, std::size_t count)
{
    Bytes out;
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == kIac)
            out.push_back(kIac);
    }
    return out;
}

// The notice a server sends when its far line runs at another rate: SET-BAUDRATE's answer.
Bytes rateNotice(std::uint32_t rate)
{
    Bytes value { std::uint8_t(rate >> 24), std::uint8_t(rate >> 16), std::uint8_t(rate >> 8),
        std::uint8_t(rate) };
    Bytes notice { kIac, kSb, kComPort, std::uint8_t(kSetBaudRate + 100) };
    const Bytes escaped = escapedIac(value.data(), value.size());
    notice.insert(notice.end(), escaped.begin(), escaped.end());
    notice.insert(notice.end(), { kIac, kSe });
    return notice;
}

// One client, RFC 2217 in front of the device, until it leaves.
void relay(int client, int device, const Spoiler& spoiler = {})
{
    using Clock = std::chrono::steady_clock;
    ClientReader reader;
    std::uint32_t rate = 0;
    std::uint8_t buffer[4096];
    bool replied = false; // the device has answered once
    bool moved = false;
    Bytes held; // the device's bytes not yet passed on, while trickling
    Clock::time_point nextByte = Clock::now();
    for (;;) {
        int waitMs = -1;
        if (!held.empty())
            waitMs = std::max(0,
                int(std::chrono::duration_cast<std::chrono::milliseconds>(nextByte - Clock::now())
                        .count()));
        pollfd fds[2] = { { client, POLLIN, 0 }, { device, POLLIN, 0 } };
        if (::poll(fds, 2, waitMs) < 0)
            return;
        if (!held.empty() && Clock::now() >= nextByte) {
            if (!sendAll(client, escapedIac(held.data(), 1)))
                return;
            held.erase(held.begin());
            nextByte = Clock::now() + std::chrono::milliseconds(spoiler.trickleMs);
        }
        if (fds[0].revents != 0) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            Bytes data;
            const Bytes reply = reader.take(buffer, static_cast<std::size_t>(n), data);
            if (reader.rate() != rate)
                setRate(device, rate = reader.rate());
            if (!data.empty() && spoiler.moveTo != 0 && replied && !moved) {
                moved = true;
                if (!sendAll(client, rateNotice(spoiler.moveTo)))
                    return;
            }
            if (!data.empty() && !moved && ::write(device, data.data(), data.size()) < 0)
                return;
            if (!sendAll(client, reply))
                return;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            const ssize_t n = ::read(device, buffer, sizeof buffer);
            if (n <= 0 || moved)
                continue;
            replied = true;
            if (spoiler.trickleMs > 0) {
                // A byte passed on a moment ago still holds the next one back.
                if (held.empty())
                    nextByte = std::max(nextByte, Clock::now());
                held.insert(held.end(), buffer, buffer + n);
            } else if (!sendAll(client, escapedIac(buffer, static_cast<std::size_t>(n)))) {
                return;
            }
        }
    }
}

void serveSlowly(int listener, const char* devicePath, int pauseMs, const Spoiler& spoiler = {})
{
    for (;;) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0)
            return;
        std::printf("accepted\n");
        std::fflush(stdout);
        const int device = ::open(devicePath, O_RDWR | O_NOCTTY);
        if (device >= 0) {
            relay(client, device, spoiler);
            ::close(device);
        }
        ::close(client);
        // The reader of the last session notices late that its client has gone.
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
}

} // namespace

int main(int argc, char* argv[])
{
    const std::string mode = argc > 1 ? argv[1] : "";
    const bool relays
        = (mode == "slow" && argc > 2) || ((mode == "rate-move" || mode == "trickle") && argc > 3);
    const char* const modes[] = { "unclosed-sb", "do-flood", "line-flood", "silent", "reset" };
    if (!relays && std::find(std::begin(modes), std::end(modes), mode) == std::end(modes)) {
        std::fprintf(stderr,
            "usage: hostile_server unclosed-sb|do-flood|line-flood|silent|reset\n"
            "       hostile_server slow DEVICE [MS]\n"
            "       hostile_server rate-move DEVICE RATE\n"
            "       hostile_server trickle DEVICE MS\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    const int listener = listenOnLoopback();
    if (listener < 0)
        return 1;
    if (mode == "slow")
        serveSlowly(listener, argv[2], argc > 3 ? std::atoi(argv[3]) : 3000);
    else if (mode == "rate-move")
        serveSlowly(listener, argv[2], 0, { static_cast<std::uint32_t>(std::atol(argv[3])), 0 });
    else if (mode == "trickle")
        serveSlowly(listener, argv[2], 0, { 0, std::atoi(argv[3]) });
    else
        serveHostile(listener, mode);
    return 0;
}
