#include "modules.h"

#include "stop_signals.h"

namespace cli {

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
