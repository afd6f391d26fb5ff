#include "terminal.h"

#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <unistd.h>
#ifndef _WIN32
#include <fcntl.h>
#endif

namespace cli {

bool stderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

void openClosedStandardStreams()
{
#ifndef _WIN32
    for (const int fd : { STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO })
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF)
            // The lowest free number is fd itself.
            ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
#endif
}

} // namespace cli
