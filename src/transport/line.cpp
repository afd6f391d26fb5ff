#include "line.h"

#include <QEventLoop>
#include <QTimer>

#include <utility>

namespace line {

Line::Line(LineAddress address, QObject* parent)
    : QObject(parent)
    , address_(std::move(address))
{
}

Line::~Line() = default;

void Line::interrupt()
{
    interrupted_ = true;
    endWait();
}

void Line::await(std::chrono::nanoseconds within)
{
    if (interrupted_)
        return;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    // Whole milliseconds, rounded up: a wait never ends before its time.
    timer.start(static_cast<int>(
        std::chrono::ceil<std::chrono::milliseconds>(std::max(within, decltype(within)::zero()))
            .count()));
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &Line::readyRead, &loop, &QEventLoop::quit);
    connect(this, &Line::lost, &loop, &QEventLoop::quit);
    QEventLoop* const outer = std::exchange(waiting_, &loop);
    // Clicks wait: the window takes none while its line waits, as while a serial port opens.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    waiting_ = outer;
}

void Line::announceLoss(const LineFault& fault)
{
    lost_ = fault;
    endWait();
    emit lost(fault);
}

void Line::endWait()
{
    if (waiting_)
        waiting_->quit();
}

} // namespace line
