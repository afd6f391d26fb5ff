#include "blocking_line.h"

#include <QElapsedTimer>
#include <QTimer>

namespace line {

BlockingLine::~BlockingLine() = default;

void BlockingLine::interrupt()
{
    interrupted_ = true;
    endWait();
}

void BlockingLine::endWait()
{
    if (waiting_)
        waiting_->quit();
}

void BlockingLine::await(QEventLoop& loop, std::chrono::nanoseconds within)
{
    if (interrupted_)
        return;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    // Whole milliseconds, rounded up: a wait never ends before its time.
    timer.start(static_cast<int>(
        std::chrono::ceil<std::chrono::milliseconds>(std::max(within, decltype(within)::zero()))
            .count()));
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    waiting_ = &loop;
    loop.exec();
    waiting_ = nullptr;
}

Quiet waitForQuiet(BlockingLine& line, std::chrono::nanoseconds gap, std::chrono::nanoseconds bound)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const std::chrono::nanoseconds left
            = bound - std::chrono::nanoseconds(clock.nsecsElapsed());
        if (left <= std::chrono::nanoseconds::zero())
            return Quiet::Babbling;
        switch (line.read(std::min(gap, left)).event) {
        case BlockingLine::Event::TimedOut:
            if (left >= gap)
                return Quiet::Quiet;
            return Quiet::Babbling;
        case BlockingLine::Event::Lost:
            return Quiet::Lost;
        case BlockingLine::Event::Interrupted:
            return Quiet::Interrupted;
        case BlockingLine::Event::Bytes:
            break;
        }
    }
}

} // namespace line
