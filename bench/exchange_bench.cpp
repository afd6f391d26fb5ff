// Times the tool's exchanges against the module simulator, through the real window.
//
// The window runs in this process (the frmmain library) in a folder of its own, where COM1 is
// a pseudo-terminal of ours. A relay thread sits on that terminal's master side and forwards
// each request byte to the simulator's line one character time apart, at the speed and framing
// the window set, and each reply byte back as the simulator paces it; it also sets that speed
// on the simulator's terminal, where the simulator reads it. It stamps, on the clock of the
// clicks, the request leaving the window (the write), its first byte reaching the simulator,
// and the reply's last byte.
//
// For each command the bench clicks the button (QAbstractButton::click: the whole slot, with
// its blocking send wait, runs inside) and waits for the status text (Message_Show). Figures:
// click to the request's first byte at the simulator; write to the status text, split into
// the slot's send wait and the reply timer; write to the reply's last byte.

#include "frmmain/frmmain.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// What the relay saw of one exchange.
struct LineRecord {
    std::optional<Clock::time_point> written; // the request's first byte left the window
    std::optional<Clock::time_point> requestAtSimulator; // ... and reached the simulator
    std::optional<Clock::time_point> replyStart;
    std::optional<Clock::time_point> replyEnd;
    int requestBytes = 0;
    int replyBytes = 0;
};

// The time one character takes on a line with these settings: start bit, data bits, parity,
// stop bits.
Clock::duration characterTime(const termios& t)
{
    static constexpr std::pair<speed_t, int> kRates[]
        = { { B1200, 1200 }, { B2400, 2400 }, { B4800, 4800 }, { B9600, 9600 }, { B19200, 19200 },
              { B38400, 38400 }, { B57600, 57600 }, { B115200, 115200 } };
    int rate = 9600;
    for (const auto& [code, bps] : kRates)
        if (code == ::cfgetospeed(&t))
            rate = bps;
    int bits = 1 + ((t.c_cflag & PARENB) ? 1 : 0) + ((t.c_cflag & CSTOPB) ? 2 : 1);
    switch (t.c_cflag & CSIZE) {
    case CS5:
        bits += 5;
        break;
    case CS6:
        bits += 6;
        break;
    case CS7:
        bits += 7;
        break;
    default:
        bits += 8;
    }
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(bits) / rate));
}

// A line between the window and the simulator. A pseudo-terminal delivers a write at once;
// the relay holds each request byte back for one character time at the speed the window set,
// as a real line does (the simulator paces its replies itself).
class Relay {
public:
    // simulatorLine: the simulator's pseudo-terminal (the path it prints when ready).
    bool start(const QString& simulatorLine, QString& error)
    {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            error = QStringLiteral("openpty failed");
            return false;
        }
        termios raw {};
        ::tcgetattr(slave_, &raw);
        ::cfmakeraw(&raw);
        ::cfsetspeed(&raw, B9600);
        ::tcsetattr(slave_, TCSANOW, &raw);
        slavePath_ = QString::fromLocal8Bit(name);

        simulator_ = ::open(QFile::encodeName(simulatorLine).constData(), O_RDWR | O_NOCTTY);
        if (simulator_ < 0) {
            error = QStringLiteral("cannot open the simulator's line ") + simulatorLine;
            return false;
        }
        ::tcgetattr(simulator_, &raw);
        ::cfmakeraw(&raw);
        ::cfsetspeed(&raw, B9600);
        ::tcsetattr(simulator_, TCSANOW, &raw);
        speed_ = B9600;
        thread_ = std::thread([this] { run(); });
        // The relay is the instrument: where allowed, it runs ahead of ordinary threads, so
        // that a loaded machine delays it less. The window's own threads keep their priority.
        const sched_param priority { 10 };
        fifo_ = ::pthread_setschedparam(thread_.native_handle(), SCHED_FIFO, &priority) == 0;
        return true;
    }

    ~Relay()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        for (int fd : { master_, slave_, simulator_ })
            if (fd >= 0)
                ::close(fd);
    }

    bool realTime() const { return fifo_; }

    // The path the window opens, as its COM1.
    QString linePath() const { return slavePath_; }

    // Forget the last exchange; the next bytes belong to a new one.
    void arm()
    {
        const std::lock_guard lock(mutex_);
        record_ = {};
    }

    LineRecord record() const
    {
        const std::lock_guard lock(mutex_);
        return record_;
    }

private:
    void run()
    {
        pollfd fds[2] = { { master_, POLLIN, 0 }, { simulator_, POLLIN, 0 } };
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
                const ssize_t n = ::read(master_, buffer, sizeof buffer);
                if (n > 0) {
                    const Clock::time_point now = Clock::now();
                    character = passLineSettings();
                    {
                        const std::lock_guard lock(mutex_);
                        if (!record_.written)
                            record_.written = now;
                        record_.requestBytes += static_cast<int>(n);
                    }
                    if (pending.empty())
                        due = std::max(due, now) + character;
                    pending.insert(pending.end(), buffer, buffer + n);
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
                    writeAll(master_, buffer, n);
                }
            }
        }
    }

    // The simulator judges and paces by the speed of its own terminal; returns the window's
    // character time.
    Clock::duration passLineSettings()
    {
        termios window {};
        ::tcgetattr(slave_, &window);
        const speed_t speed = ::cfgetospeed(&window);
        if (speed != speed_) {
            termios line {};
            ::tcgetattr(simulator_, &line);
            ::cfsetspeed(&line, speed);
            ::tcsetattr(simulator_, TCSANOW, &line);
            speed_ = speed;
        }
        return characterTime(window);
    }

    static void writeAll(int fd, const char* data, ssize_t n)
    {
        while (n > 0) {
            const ssize_t w = ::write(fd, data, static_cast<size_t>(n));
            if (w <= 0)
                return;
            data += w;
            n -= w;
        }
    }

    int master_ = -1;
    int slave_ = -1; // kept open, so the master never reads EIO while the window's port is closed
    int simulator_ = -1;
    QString slavePath_;
    speed_t speed_ = B0;
    bool fifo_ = false;
    std::atomic<bool> stop_ { false };
    std::thread thread_;
    mutable std::mutex mutex_;
    LineRecord record_;
};

struct Sample {
    double clickToRequest = -1;
    double clickToTrace = -1; // the request's hex shown in Text1(0), just before the write
    double clickToWritten = -1; // the relay read the request
    double writeToStatus = -1;
    double writeToReturn = -1; // the slot's blocking send wait
    double returnToStatus = -1; // the reply timer
    double writeToReplyEnd = -1;
    int requestBytes = 0;
    int replyBytes = 0;
    bool good = false;
};

struct Stats {
    double median = 0, min = 0, max = 0;
};

Stats statsOf(std::vector<double> v)
{
    if (v.empty())
        return {};
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    return { median, v.front(), v.back() };
}

class Bench {
public:
    Bench(frmmain& window, Relay& relay)
        : window_(window)
        , relay_(relay)
    {
        status_ = child<QLineEdit>("Message_Show");
        QObject::connect(
            child<QLineEdit>("Text1(0)"), &QLineEdit::textChanged, [this](const QString& text) {
                if (!text.isEmpty() && !traceAt_)
                    traceAt_ = Clock::now();
            });
        QObject::connect(status_, &QLineEdit::textChanged, [this](const QString& text) {
            if (text.isEmpty())
                return;
            statusAt_ = Clock::now();
            statusText_ = text;
            if (waiting_)
                waiting_->quit();
        });
        // A message box would hold the bench in its own loop: note it and close it.
        auto* dialogs = new QTimer(&window_);
        QObject::connect(dialogs, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                std::fprintf(stderr, "message box: %s\n", qPrintable(box->text()));
                ++messageBoxes_;
                box->accept();
            }
        });
        dialogs->start(100);
    }

    template <typename T> T* child(const char* name) const
    {
        auto* w = window_.findChild<T*>(QString::fromUtf8(name));
        if (!w) {
            std::fprintf(stderr, "no control %s\n", name);
            std::exit(1);
        }
        return w;
    }

    bool portOpen() const
    {
        return child<QPushButton>("Command1")->text() == QStringLiteral("关闭串口");
    }

    // One click, then the status text, or nothing within two seconds.
    Sample exchange(const char* button)
    {
        relay_.arm();
        statusAt_.reset();
        traceAt_.reset();
        statusText_.clear();
        const Clock::time_point click = Clock::now();
        child<QPushButton>(button)->click();
        const Clock::time_point returned = Clock::now();
        if (!statusAt_) {
            QEventLoop loop;
            waiting_ = &loop;
            QTimer::singleShot(2000, &loop, &QEventLoop::quit);
            loop.exec();
            waiting_ = nullptr;
        }
        const LineRecord line = relay_.record();
        Sample s;
        if (line.written && line.requestAtSimulator) {
            s.clickToRequest = msBetween(click, *line.requestAtSimulator);
            s.clickToWritten = msBetween(click, *line.written);
            if (traceAt_)
                s.clickToTrace = msBetween(click, *traceAt_);
            s.writeToReturn = msBetween(*line.written, returned);
            if (statusAt_) {
                s.writeToStatus = msBetween(*line.written, *statusAt_);
                s.returnToStatus = msBetween(returned, *statusAt_);
            }
            if (line.replyEnd)
                s.writeToReplyEnd = msBetween(*line.written, *line.replyEnd);
        }
        s.requestBytes = line.requestBytes;
        s.replyBytes = line.replyBytes;
        s.good = statusText_ == QStringLiteral("通讯数据正常！");
        // An operator's clicks fall at any phase of the clock, and so the bench's: a fixed
        // gap would meet the event loop's timer rounding at the same point every time.
        pause(30 + static_cast<int>(random_() % 50));
        return s;
    }

    static void pause(int ms)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }

    int messageBoxes() const { return messageBoxes_; }

private:
    frmmain& window_;
    Relay& relay_;
    QLineEdit* status_ = nullptr;
    QEventLoop* waiting_ = nullptr;
    std::optional<Clock::time_point> statusAt_;
    std::optional<Clock::time_point> traceAt_;
    QString statusText_;
    std::minstd_rand random_ { 6 };
    int messageBoxes_ = 0;
};

struct Command {
    const char* button;
    const char* name;
};

constexpr Command kCommands[] = {
    { "Command3", "read all" },
    { "Command2", "write all" },
    { "Command4", "toggle" },
};

// Target checks: the request within 5 ms of the click, the status 260 +- 10 ms after the
// write, and the reply complete before the status.
bool report(const Command& command, const std::vector<Sample>& samples)
{
    std::vector<double> toRequest, toStatus, toReturn, timer, toReplyEnd;
    int good = 0, complete = 0;
    for (const Sample& s : samples) {
        if (s.clickToRequest >= 0)
            toRequest.push_back(s.clickToRequest);
        if (s.writeToStatus >= 0) {
            toStatus.push_back(s.writeToStatus);
            toReturn.push_back(s.writeToReturn);
            timer.push_back(s.returnToStatus);
        }
        if (s.writeToReplyEnd >= 0)
            toReplyEnd.push_back(s.writeToReplyEnd);
        good += s.good ? 1 : 0;
        complete += s.good && s.writeToReplyEnd >= 0 && s.writeToReplyEnd < s.writeToStatus ? 1 : 0;
    }
    const Stats r = statsOf(toRequest), st = statsOf(toStatus), w = statsOf(toReturn),
                t = statsOf(timer), e = statsOf(toReplyEnd);
    const int n = static_cast<int>(samples.size());
    const bool requestOk = static_cast<int>(toRequest.size()) == n && r.max <= 5.0;
    const bool statusOk = static_cast<int>(toStatus.size()) == n && st.min >= 250 && st.max <= 270;
    const bool completeOk = complete == n;
    std::printf("  %-10s %5.2f [%5.2f..%5.2f] %-4s  %6.1f [%5.1f..%5.1f] %-4s  %5.1f + %5.1f "
                "[%5.1f..%5.1f]  %5.1f [..%5.1f] %3d/%-3d B  %2d/%-2d %2d/%-2d %s\n",
        command.name, r.median, r.min, r.max, requestOk ? "ok" : "MISS", st.median, st.min, st.max,
        statusOk ? "ok" : "MISS", w.median, t.median, t.min, t.max, e.median, e.max,
        n ? samples.front().requestBytes : 0, n ? samples.front().replyBytes : 0, good, n, complete,
        n, completeOk ? "ok" : "MISS");
    if (!requestOk) {
        // Where the slowest request lost its time.
        const auto slowest = std::max_element(samples.begin(), samples.end(),
            [](const Sample& a, const Sample& b) { return a.clickToRequest < b.clickToRequest; });
        std::printf("             slowest request: click -> Text1(0) %.2f ms -> read by the relay "
                    "%.2f ms -> at the simulator %.2f ms\n",
            slowest->clickToTrace, slowest->clickToWritten, slowest->clickToRequest);
    }
    return requestOk && statusOk && completeOk;
}

void header(int baud)
{
    std::printf("%d baud       click->request (ms)     write->status (ms)         = send wait + "
                "reply timer  write->reply end  request/reply  good  complete\n",
        baud);
}

QString readyLine(QProcess& sim)
{
    QByteArray out;
    while (!out.contains('\n') && sim.waitForReadyRead(5000))
        out += sim.readLine();
    return QString::fromLocal8Bit(out).trimmed();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pwm5"));
    QString simulator;
    int count = 20;
    QList<int> bauds { 9600, 4800 };
    const QStringList args = QApplication::arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--sim"))
            simulator = args[i + 1];
        else if (args[i] == QLatin1String("--count"))
            count = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--bauds")) {
            bauds.clear();
            for (const QString& b : args[i + 1].split(QLatin1Char(',')))
                bauds << b.toInt();
        }
    }
    if (simulator.isEmpty() || count < 1) {
        std::fputs("usage: pwm5-exchange-bench --sim PATH/pwm5-sim [--count N] "
                   "[--bauds 9600,4800]\n",
            stderr);
        return 2;
    }

    QTemporaryDir simDir, windowDir;
    QProcess sim;
    sim.setWorkingDirectory(simDir.path());
    sim.start(
        QFileInfo(simulator).absoluteFilePath(), { QStringLiteral("--port"), QStringLiteral("1") });
    const QString ready = readyLine(sim);
    // "ready COM1 -> /dev/pts/N, slave 1 at 9600 baud"
    const qsizetype from = ready.indexOf(QLatin1String("-> ")),
                    to = ready.indexOf(QLatin1Char(','));
    if (!ready.startsWith(QLatin1String("ready")) || from < 0 || to < from) {
        std::fprintf(stderr, "the simulator did not start: %s%s\n", qPrintable(ready),
            qPrintable(sim.errorString()));
        return 1;
    }
    Relay relay;
    QString error;
    if (!relay.start(ready.mid(from + 3, to - from - 3), error)
        || !QFile::link(
            relay.linePath(), QDir(windowDir.path()).filePath(QStringLiteral("COM1")))) {
        std::fprintf(stderr, "relay: %s\n", qPrintable(error));
        return 1;
    }

    QDir::setCurrent(windowDir.path());
    // Figures that miss a target are reported, not failed: the exit status says only whether
    // the bench could run (the simulator answered, no message box came up).
    bool allMet = true;
    bool ran = true;
    {
        frmmain window;
        window.show();
        Bench bench(window, relay);
        Bench::pause(300);
        bench.child<QPushButton>("Command1")->click();
        if (!bench.portOpen()) {
            std::fputs("the window could not open COM1\n", stderr);
            return 1;
        }
        std::printf("%d exchanges per command after one warm-up; median [min..max]. The write: the "
                    "request's first byte on the line.\nread all = Command3, write all = Command2, "
                    "toggle = Command4 (CH1 output). Targets: request <= 5 ms after the click, "
                    "status 250..270 ms after the write, reply complete before the status.\n"
                    "The relay runs %s.\n",
            count, relay.realTime() ? "as a real-time thread" : "at normal priority");
        int line = 9600;
        for (int baud : bauds) {
            if (baud != line) {
                // The module changes its rate first, then the window reopens at the new one.
                bench.child<QComboBox>("Combo6")->setCurrentText(QString::number(baud));
                const Sample change = bench.exchange("Command10");
                bench.child<QPushButton>("Command1")->click();
                bench.child<QComboBox>("Combo2")->setCurrentText(QString::number(baud));
                bench.child<QPushButton>("Command1")->click();
                if (!change.good || !bench.portOpen()) {
                    std::fprintf(stderr, "the change to %d baud failed\n", baud);
                    ran = false;
                    break;
                }
                line = baud;
            }
            header(baud);
            for (const Command& command : kCommands) {
                bench.exchange(command.button);
                std::vector<Sample> samples;
                for (int i = 0; i < count; ++i)
                    samples.push_back(bench.exchange(command.button));
                allMet = report(command, samples) && allMet;
            }
        }
        if (bench.messageBoxes() > 0)
            ran = false;
        window.close();
    }

    sim.terminate();
    if (!sim.waitForFinished(3000))
        sim.kill();
    int unanswered = 0;
    for (const QByteArray& l : sim.readAllStandardOutput().split('\n'))
        if (l.contains("->  none")) {
            std::fprintf(stderr, "simulator: %s\n", l.constData());
            ++unanswered;
        }
    std::printf("simulator: %d requests unanswered; targets %s\n", unanswered,
        allMet && ran && unanswered == 0 ? "all met" : "NOT all met");
    return ran && unanswered == 0 ? 0 : 1;
}
