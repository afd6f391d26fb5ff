#include "modules.h"

#include "stop_signals.h"

namespace cli {

Report movesRefusedByBridge(const Invocation& call, Report report)
{
    if (call.where.address && call.where.address->isServer())
        report.text += QStringLiteral("; if a bridge serves this line, it never lets a module be "
                                      "moved off it: stop the bridge and do it on the port");
    return report;
}

int serveModules(const Invocation& call, Master& master, Console& console,
    const std::function<int(int address)>& serve)
{
    if (const int status = openLine(call, master, console, call.line.baud))
        return status;
    int worst = kDone;
    for (const int address : call.modules) {
        if (const StopSignals* stops = StopSignals::current(); stops && stops->stop() != Stop::None)
            break;
        const int status = serve(address);
        if (status == kPortUnusable)
            return status;
        if (status != kDone)
            worst = kModuleFault;
    }
    return worst;
}

} // namespace cli
