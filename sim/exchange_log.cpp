#include "exchange_log.h"

#include <cstdio>
#include <ctime>

namespace sim {

std::string hexText(std::span<const std::uint8_t> bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : bytes) {
        if (!text.empty())
            text += ' ';
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

std::string moduleNames(std::span<const int> addresses)
{
    std::string names;
    for (std::size_t i = 0; i < addresses.size();) {
        std::size_t last = i;
        while (last + 1 < addresses.size() && addresses[last + 1] == addresses[last] + 1)
            ++last;
        if (last - i < 2)
            last = i;
        // Appended piece by piece: GCC 12 at -O3 takes "text" + std::string for an overlapping
        // copy (-Wrestrict).
        if (!names.empty())
            names += ", ";
        names += std::to_string(addresses[i]);
        if (last > i) {
            names += '-';
            names += std::to_string(addresses[last]);
        }
        i = last + 1;
    }
    std::string said = addresses.size() == 1 ? "slave " : "slaves ";
    said += names;
    return said;
}

void printLine(const std::string& text)
{
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string clockText()
{
    timespec t {};
    ::clock_gettime(CLOCK_REALTIME, &t);
    tm local {};
    ::localtime_r(&t.tv_sec, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min,
        local.tm_sec, t.tv_nsec / 1'000'000);
    return text;
}

} // namespace sim
