#include "commands.h"

#include "modules.h"

namespace cli {

QList<int> ratesToTry(const Invocation& call, Console& console, const QList<int>& rates)
{
    if (!call.where || !call.where.address->keepsServerRate()
        || rates == QList<int> { call.line.baud })
        return rates;
    console.err << "pwm5ctl: a raw TCP line stays at its server's rate; trying " << call.line.baud
                << " baud only (-b names that rate)" << Qt::endl;
    return { call.line.baud };
}

bool saidServerKeepsRate(const Invocation& call, Console& console, int newRate)
{
    if (!call.where || !call.where.address->keepsServerRate())
        return false;
    console.err << "pwm5ctl: the module now listens at " << newRate
                << " baud, but a raw TCP line stays at its server's rate: set the server's line "
                   "to "
                << newRate << " baud, then reach the module with -b " << newRate << Qt::endl;
    return true;
}

namespace {

// A line that cannot be used: kPortUnusable. A stop says nothing of its own: the exit status
// tells it.
int sayLine(Console& console, const QString& label, const line::LineFault& fault)
{
    if (fault.kind == line::Failure::Interrupted)
        return kModuleFault;
    return console.say(Report::ofLine(label, fault));
}

} // namespace

int openLine(const Invocation& call, line::Master& master, Console& console, int baud)
{
    if (!call.where)
        return sayLine(console, call.where.label, call.where.fault);
    line::PortSettings settings = call.line;
    settings.baud = baud;
    if (const auto fault = master.open(*call.where.address, settings))
        return sayLine(console, call.where.label, *fault);
    return kDone;
}

int changeRate(const Invocation& call, line::Master& master, Console& console, int baud)
{
    line::PortSettings settings = master.line()->settings();
    settings.baud = baud;
    if (const auto fault = master.changeSettings(settings))
        return sayLine(console, call.where.label, *fault);
    return kDone;
}

} // namespace cli
