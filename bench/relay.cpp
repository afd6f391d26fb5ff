#include "relay.h"

#include "rtu/line_timing.h"
#include "rtu/port_settings.h"

#include <QFile>

#include <algorithm>
#include <deque>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

namespace bench {

namespace {

// The line settings the window set on its terminal, in the tool's own terms.
line::PortSettings portSettingsOf(const termios& t)
{
    static constexpr std::pair<speed_t, int> kRates[]
        = { { B1200, 1200 }, { B2400, 2400 }, { B4800, 4800 }, { B9600, 9600 }, { B19200, 19200 },
              { B38400, 38400 }, { B57600, 57600 }, { B115200, 115200 } };
    line::PortSettings settings; // 9600 baud for any other speed
    for (const auto& [code, bps] : kRates)
        if (code == ::cfgetospeed(&t))
            settings.baud = bps;
    settings.parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
    settings.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    switch (t.c_cflag & CSIZE) {
    case CS5:
        settings.dataBits = 5;
        break;
    case CS6:
        settings.dataBits = 6;
        break;
    case CS7:
        settings.dataBits = 7;
        break;
    default:
        settings.dataBits = 8;
    }
    return settings;
}

void writeAll(int fd, const char* data, ssize_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, data, static_cast<size_t>(n));
        if (w <= 0)
            return;
        data += w;
        n -= w;
    }
}

} // namespace

bool Relay::start(const QString& simulatorLine, QString& error)
{
    if (!window_.isValid()) {
        error = QStringLiteral("openpty failed");
        return false;
    }
    simulator_ = ::open(QFile::encodeName(simulatorLine).constData(), O_RDWR | O_NOCTTY);
    if (simulator_ < 0) {
        error = QStringLiteral("cannot open the simulator's line ") + simulatorLine;
        return false;
    }
    termios raw {};
    ::tcgetattr(simulator_, &raw);
    ::cfmakeraw(&raw);
    ::cfsetspeed(&raw, B9600);
    ::tcsetattr(simulator_, TCSANOW, &raw);
    speed_ = B9600;
    thread_ = std::thread([this] { run(); });
    // The relay is the instrument: where allowed, it runs ahead of ordinary threads, so that a
    // loaded machine delays it less. The window's own threads keep their priority.
    const sched_param priority { 10 };
    fifo_ = ::pthread_setschedparam(thread_.native_handle(), SCHED_FIFO, &priority) == 0;
    return true;
}

Relay::~Relay()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (simulator_ >= 0)
        ::close(simulator_);
}

void Relay::arm()
{
    const std::lock_guard lock(mutex_);
    record_ = {};
}

LineRecord Relay::record() const
{
    const std::lock_guard lock(mutex_);
    return record_;
}

void Relay::run()
{
    pollfd fds[2] = { { window_.deviceFd(), POLLIN, 0 }, { simulator_, POLLIN, 0 } };
    char buffer[512];
    std::deque<char> pending; // request bytes on their way
    Clock::time_point due; // when the first of them arrives at the simulator
    Clock::duration character {};
    while (!stop_) {
        const auto wait = pending.empty()
            ? std::chrono::nanoseconds(std::chrono::milliseconds(50))
            : std::max(std::chrono::nanoseconds(0), due - Clock::now());
        const timespec timeout { static_cast<time_t>(wait.count() / 1'000'000'000),
            static_cast<long>(wait.count() % 1'000'000'000) };
        ::ppoll(fds, 2, &timeout, nullptr);
        if (fds[0].revents & POLLIN) {
            const QByteArray request = window_.readAvailable();
            if (!request.isEmpty()) {
                const Clock::time_point now = Clock::now();
                character = passLineSettings();
                {
                    const std::lock_guard lock(mutex_);
                    if (!record_.written)
                        record_.written = now;
                    record_.requestBytes += static_cast<int>(request.size());
                }
                if (pending.empty())
                    due = std::max(due, now) + character;
                pending.insert(pending.end(), request.begin(), request.end());
            }
        }
        for (Clock::time_point now = Clock::now(); !pending.empty() && now >= due;
             due += character) {
            writeAll(simulator_, &pending.front(), 1);
            pending.pop_front();
            const std::lock_guard lock(mutex_);
            if (!record_.requestAtSimulator)
                record_.requestAtSimulator = now;
        }
        if (fds[1].revents & POLLIN) {
            const ssize_t n = ::read(simulator_, buffer, sizeof buffer);
            if (n > 0) {
                const Clock::time_point now = Clock::now();
                {
                    const std::lock_guard lock(mutex_);
                    if (!record_.replyStart)
                        record_.replyStart = now;
                    record_.replyEnd = now;
                    record_.replyBytes += static_cast<int>(n);
                }
                window_.write(QByteArray(buffer, n));
            }
        }
    }
}

Clock::duration Relay::passLineSettings()
{
    const termios window = window_.lineSettings();
    const speed_t speed = ::cfgetospeed(&window);
    if (speed != speed_) {
        termios simulatorLine {};
        ::tcgetattr(simulator_, &simulatorLine);
        ::cfsetspeed(&simulatorLine, speed);
        ::tcsetattr(simulator_, TCSANOW, &simulatorLine);
        speed_ = speed;
    }
    return std::chrono::duration_cast<Clock::duration>(line::characterTime(portSettingsOf(window)));
}

} // namespace bench
