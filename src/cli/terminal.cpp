#include "terminal.h"

#include <cstdio>
#include <unistd.h>

namespace cli {

bool stderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

} // namespace cli
