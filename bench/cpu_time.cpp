// Runs a command and writes the CPU time it took (user + system, its own and its children's,
// in ms) to a file: what the kernel accounts to the process, whatever else the machine does.
// bench/cli sets it beside the wall time from exec to exit.
//
//   pwm5-cpu-time FILE COMMAND [ARGS...]   exits with the command's status

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace {

double ms(const timeval& t)
{
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: pwm5-cpu-time FILE COMMAND [ARGS...]\n");
        return 2;
    }
    const pid_t child = ::fork();
    if (child < 0)
        return 127;
    if (child == 0) {
        ::execvp(argv[2], argv + 2);
        std::perror(argv[2]);
        ::_exit(127);
    }
    int status = 0;
    rusage usage {};
    if (::wait4(child, &status, 0, &usage) != child)
        return 127;
    if (std::FILE* out = std::fopen(argv[1], "w")) {
        std::fprintf(out, "%.3f\n", ms(usage.ru_utime) + ms(usage.ru_stime));
        std::fclose(out);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
