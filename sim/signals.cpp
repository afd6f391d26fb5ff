#include "signals.h"

#include <csignal>
#include <initializer_list>

namespace sim {

namespace {

volatile std::sig_atomic_t stopFlag = 0;
volatile std::sig_atomic_t tableFlag = 0;

void onStop(int)
{
    stopFlag = 1;
}
void onTable(int)
{
    tableFlag = 1;
}

} // namespace

void installSignalHandlers()
{
    struct sigaction action { };
    sigemptyset(&action.sa_mask);
    action.sa_handler = onStop;
    for (int sig : { SIGINT, SIGTERM, SIGHUP })
        sigaction(sig, &action, nullptr);
    action.sa_handler = onTable;
    sigaction(SIGUSR1, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

bool stopRequested()
{
    return stopFlag != 0;
}

bool takeTableRequest()
{
    if (!tableFlag)
        return false;
    tableFlag = 0;
    return true;
}

} // namespace sim
