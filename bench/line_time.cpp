// How long bytes take on the line at a baud rate, 8N1, by the tool's own line timing: what
// bench/cli holds its figures against.
//   pwm5-line-time BAUD BYTES    prints the time in ms, to three decimals

#include "rtu/line_timing.h"
#include "rtu/port_settings.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

// A whole number from 1 on, else 0.
long positive(const char* text)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *text != '\0' && *end == '\0' && value > 0 ? value : 0;
}

} // namespace

int main(int argc, char* argv[])
{
    const long baud = argc == 3 ? positive(argv[1]) : 0;
    const long bytes = argc == 3 ? positive(argv[2]) : 0;
    if (baud <= 0 || baud > 999'999'999 || bytes <= 0) {
        std::fputs("usage: pwm5-line-time BAUD BYTES\n", stderr);
        return 2;
    }
    line::PortSettings settings;
    settings.baud = static_cast<qint32>(baud);
    const std::chrono::duration<double, std::milli> time = line::transferTime(settings, bytes);
    std::printf("%.3f\n", time.count());
    return 0;
}
