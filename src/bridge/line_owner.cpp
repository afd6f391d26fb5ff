#include "line_owner.h"

#include "device/requests.h"

namespace bridge {

LineOwner::LineOwner(line::Master& master, line::LineAddress address, line::PortSettings settings,
    OwnerSettings owner, QObject* parent)
    : QObject(parent)
    , master_(master)
    , address_(std::move(address))
    , settings_(settings)
    , lineName_(std::move(owner.lineName))
    , schedule_(owner.addresses, owner.interval)
{
    clock_.start();
    for (const int a : owner.addresses)
        modules_.push_back({ a, {}, false });
    wake_.setSingleShot(true);
    wake_.setTimerType(Qt::PreciseTimer);
    connect(&wake_, &QTimer::timeout, this, [this] {
        if (lineUp_ || openLine())
            pump();
    });
}

std::optional<line::LineFault> LineOwner::start()
{
    const auto fault = master_.open(address_, settings_);
    if (fault && fault->kind == line::Failure::Unusable)
        return fault;
    if (!fault)
        lineUp_ = true;
    else if (fault->kind != line::Failure::Interrupted)
        lineLost(fault->text);
    QMetaObject::invokeMethod(this, &LineOwner::pump, Qt::QueuedConnection);
    return std::nullopt;
}

void LineOwner::stop()
{
    stopping_ = true;
    wake_.stop();
    master_.interrupt();
    if (!running_)
        emit stopped();
}

// Opens the port again; a port that has become something no line can be ends the bridge.
bool LineOwner::openLine()
{
    const auto fault = master_.open(address_, settings_);
    if (!fault) {
        if (lineSaid_)
            emit note(QStringLiteral("%1: open again").arg(lineName_));
        lineSaid_ = false;
        lineUp_ = true;
        return true;
    }
    if (fault->kind == line::Failure::Unusable)
        emit unusable(*fault);
    else if (fault->kind != line::Failure::Interrupted)
        lineLost(fault->text);
    return false;
}

void LineOwner::lineLost(const QString& why)
{
    if (!lineSaid_)
        emit note(QStringLiteral("%1: %2; opening it again every %3 s")
                      .arg(lineName_, why)
                      .arg(kReopen.count()));
    lineSaid_ = true;
    lineUp_ = false;
    master_.close();
    schedule_.lineLost();
    for (ModuleState& m : modules_)
        if (m.online)
            setOnline(m, false);
    wake_.start(kReopen);
}

void LineOwner::submit(LineSchedule::Source source, LineQueue::Kind kind, Job job)
{
    const LineSchedule::Ticket ticket = nextTicket_++;
    jobs_.emplace(ticket, std::move(job));
    schedule_.add(source, kind, ticket);
    if (!running_)
        QMetaObject::invokeMethod(this, &LineOwner::pump, Qt::QueuedConnection);
}

void LineOwner::drop(LineSchedule::Source source)
{
    for (const LineSchedule::Ticket ticket : schedule_.drop(source))
        jobs_.erase(ticket);
}

// Runs what is due, one exchange at a time. An exchange runs a local event loop, in which new
// jobs arrive: they wait in the schedule, and this loop takes them up.
void LineOwner::pump()
{
    if (running_ || stopping_)
        return;
    running_ = true;
    wake_.stop();
    while (!stopping_) {
        const LineSchedule::Step step = schedule_.next(now(), lineUp_);
        if (step.what == LineSchedule::Step::Request) {
            const Job job = std::move(jobs_.extract(step.ticket).mapped());
            exchanged_ = false;
            job();
            if (!exchanged_)
                schedule_.servedWithoutLine();
        } else if (step.what == LineSchedule::Step::Poll) {
            poll(step.address);
        } else {
            if (lineUp_)
                wake_.start(step.wait);
            break;
        }
    }
    running_ = false;
    if (stopping_)
        emit stopped();
}

line::Answer LineOwner::ask(int address, const QByteArray& request)
{
    if (!lineUp_) {
        line::Answer away;
        away.failure = line::Failure::Lost;
        away.error = QStringLiteral("%1: the line is away").arg(lineName_);
        return away;
    }
    exchanged_ = true;
    const line::Answer answer = master_.ask(request);
    if (answer.interrupted())
        return answer;
    if (line::isLineFailure(answer.failure)) {
        // The line's own words, once: the answer's error names the line already.
        const line::Line* line = master_.line();
        lineLost(line && line->lostFault() ? line->lostFault()->text : answer.error);
        return answer;
    }
    ModuleState* m = find(address);
    if (!m)
        return answer;
    // An exception is an answer: the module is there.
    if (answer.ok() || answer.failure == line::Failure::Exception) {
        schedule_.answered(address);
        if (!m->online)
            setOnline(*m, true);
    } else {
        schedule_.failed(address, now());
        if (m->online && schedule_.offline(address))
            setOnline(*m, false);
    }
    return answer;
}

void LineOwner::poll(int address)
{
    const line::Answer answer
        = ask(address, device::readAllRequest(static_cast<std::uint8_t>(address)));
    if (!answer.ok())
        return;
    const std::span<const std::uint8_t> registers = answer.view().registerBytes;
    const device::Reading reading = device::decodedRegisters(registers, {});
    held_.read(address, 0, registerData(registers), now());
    ModuleState* m = find(address);
    const bool changed = !m->last || m->last->values != reading.values;
    m->last = reading;
    if (changed)
        emit readingChanged(address);
}

void LineOwner::written(int address)
{
    held_.written(address);
    schedule_.written(address);
}

void LineOwner::learned(int address, const device::Reading& reading)
{
    if (ModuleState* m = find(address)) {
        m->last = reading;
        emit readingChanged(address);
    }
}

void LineOwner::setOnline(ModuleState& m, bool online)
{
    m.online = online;
    emit availabilityChanged(m.address, online);
}

const ModuleState* LineOwner::module(int address) const
{
    const auto found = std::ranges::find(modules_, address, &ModuleState::address);
    return found == modules_.end() ? nullptr : &*found;
}

ModuleState* LineOwner::find(int address)
{
    const auto found = std::ranges::find(modules_, address, &ModuleState::address);
    return found == modules_.end() ? nullptr : &*found;
}

} // namespace bridge
