#include "call_master.h"

#include "stop_signals.h"

#include "rtu/hex_trace.h"

namespace cli {

CallMaster::CallMaster(const Invocation& call, QTextStream& err)
    : line::Master(call.timeoutMs)
{
    if (call.verbose) {
        connect(this, &Master::sent, this, [&err](const QByteArray& frame) {
            err << "send: " << line::hexTrace(frame).trimmed() << Qt::endl;
        });
        connect(this, &Master::received, this, [&err](const QByteArray& reply) {
            err << "recv: " << line::hexTrace(reply).trimmed() << Qt::endl;
        });
    }
    connect(this, &Master::warning, this,
        [&err](const QString& text) { err << "pwm5ctl: " << text << Qt::endl; });
    if (const StopSignals* stops = StopSignals::current()) {
        connect(stops, &StopSignals::stopped, this, &Master::interrupt);
        if (stops->stop() != Stop::None)
            interrupt();
    }
}

} // namespace cli
