#include "blocking_line.h"

#include <QElapsedTimer>

namespace line {

BlockingLine::~BlockingLine() = default;

void BlockingLine::interrupt()
{
    interrupted_ = true;
    wake();
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
