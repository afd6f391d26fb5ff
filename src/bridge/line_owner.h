#pragma once

#include "bridge/held_registers.h"
#include "bridge/line_schedule.h"
#include "device/reply_decoder.h"
#include "line/master.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace bridge {

// A module of the line as its owner knows it.
struct ModuleState {
    int address = 0;
    std::optional<device::Reading> last; // the last good reading
    bool online = false;
};

struct OwnerSettings {
    QString lineName; // the port as the operator gave it, escaped: messages name it so
    std::vector<int> addresses;
    std::chrono::milliseconds interval { 1000 }; // from the start of one round to the next
};

// The line's one master while the bridge runs: it polls the modules, serves the jobs that its
// faces and the broker hand it, one exchange at a time in the order LineSchedule gives, and
// keeps what it learns (each module's last reading, whether it answers, the registers its last
// reads held). A port that goes away is opened again every 2 s; its modules are offline
// meanwhile.
class LineOwner final : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::seconds kReopen { 2 };

    using Job = std::function<void()>;

    LineOwner(line::Master& master, line::LineAddress address, line::PortSettings settings,
        OwnerSettings owner, QObject* parent = nullptr);

    // Opens the line and starts the poll: the fault when the line can never be one (nothing
    // at the address opens as a serial port); a line that cannot be opened now is tried again.
    std::optional<line::LineFault> start();
    // Ends the exchange in progress and every later one; stopped() comes once nothing runs.
    void stop();

    // A job for the line, run in its turn; it calls ask() for its exchanges.
    void submit(LineSchedule::Source source, LineQueue::Kind kind, Job job);
    // A connection that closed: its jobs go.
    void drop(LineSchedule::Source source);
    bool full(LineSchedule::Source source) const { return schedule_.full(source); }

    // One exchange with the module at address, for a job: the line's failure is taken care of
    // (said, every module offline, the port opened again), and the module's answer or silence
    // counts towards it being online or offline.
    line::Answer ask(int address, const QByteArray& request);
    // A write reached the module: what is held of it is stale, and it is read before any other
    // poll read.
    void written(int address);
    // What a job learned of a module's values, the echo of its write: the state shows them.
    void learned(int address, const device::Reading& reading);

    bool lineUp() const { return lineUp_; }
    bool offline(int address) const { return schedule_.offline(address); }
    const ModuleState* module(int address) const;
    const std::vector<ModuleState>& modules() const { return modules_; }
    // What the module's last reads held: a face's reads add to it.
    HeldRegisters& held() { return held_; }
    const HeldRegisters& held() const { return held_; }
    HeldRegisters::Instant now() const { return HeldRegisters::Instant(clock_.elapsed()); }

signals:
    // A module's reading changed, or it was read for the first time.
    void readingChanged(int address);
    void availabilityChanged(int address, bool online);
    // Lines for standard error: a lost line (once until it is back) and its return.
    void note(const QString& text);
    // The port has become something no line can be (a link that now leads to a file).
    void unusable(const line::LineFault& fault);
    void stopped();

private:
    bool openLine();
    void lineLost(const QString& why);
    void pump();
    void poll(int address);
    void setOnline(ModuleState& m, bool online);
    ModuleState* find(int address);

    line::Master& master_;
    line::LineAddress address_;
    line::PortSettings settings_;
    QString lineName_;
    LineSchedule schedule_;
    HeldRegisters held_;
    std::vector<ModuleState> modules_;
    std::map<LineSchedule::Ticket, Job> jobs_;
    LineSchedule::Ticket nextTicket_ = 1;
    QElapsedTimer clock_;
    QTimer wake_; // the next step falls due, or the next try of a lost port
    bool lineUp_ = false;
    bool lineSaid_ = false; // the loss has been said, and not the return
    bool running_ = false; // a step runs: its exchange may run a local event loop
    bool exchanged_ = false; // the job in progress has used the line
    bool stopping_ = false;
};

} // namespace bridge
