#pragma once

namespace sim {

// SIGINT, SIGTERM and SIGHUP ask the simulator to stop (and so remove its link); SIGUSR1 asks
// for the register table.
void installSignalHandlers();
bool stopRequested();
// True once per SIGUSR1.
bool takeTableRequest();

} // namespace sim
