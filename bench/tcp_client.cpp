// Modbus TCP clients for bench/faces, on libmodbus: CLIENTS connections at once, each reading
// all 26 registers (function 0x03 from 0x0000) COUNT times back to back from its own unit of
// FIRST-LAST (client i asks FIRST + i modulo the range), each answer checked against what the
// simulator holds (EXPECTED: one line per unit, "UNIT V0 ... V25"). libmodbus refuses an
// answer whose transaction id is not its request's, so an answer out of order fails. Prints
// one line: answers right, answers wrong, requests failed, seconds from the first request to
// the last answer, and each request's time to its answer in ms, median, least and greatest.
// Exits 1 when a client could not connect; a failed request is a figure, not a failure.
//
//   pwm5-tcp-client HOST PORT CLIENTS COUNT FIRST[-LAST] EXPECTED

#include "statistics.h"

#include <modbus.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <latch>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kRegisters = 26;
using Registers = std::array<std::uint16_t, kRegisters>;
using Clock = std::chrono::steady_clock;

struct Tally {
    bool connected = false;
    long right = 0, wrong = 0, failed = 0;
    std::vector<double> ms;
};

// The registers each unit holds, from lines "UNIT V0 ... V25"; empty when the file is not that.
std::map<int, Registers> expectedFrom(const char* path)
{
    std::map<int, Registers> units;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        int unit = 0;
        Registers values {};
        fields >> unit;
        for (auto& v : values)
            fields >> v;
        if (!fields)
            return {};
        units[unit] = values;
    }
    return units;
}

// One client: its own connection, COUNT reads of `unit` once `start` opens.
void client(const char* host, int port, int unit, long count, const Registers& expected,
    std::latch& start, Tally& tally)
{
    modbus_t* ctx = modbus_new_tcp(host, port);
    modbus_set_slave(ctx, unit);
    modbus_set_response_timeout(ctx, 5, 0); // a read may queue behind the other clients'
    tally.connected = modbus_connect(ctx) == 0;
    if (!tally.connected)
        std::fprintf(stderr, "unit %d: connect: %s\n", unit, modbus_strerror(errno));
    start.arrive_and_wait();
    Registers got {};
    for (long i = 0; tally.connected && i < count; ++i) {
        const auto sent = Clock::now();
        const int n = modbus_read_registers(ctx, 0, kRegisters, got.data());
        const std::chrono::duration<double, std::milli> took = Clock::now() - sent;
        if (n != kRegisters) {
            if (tally.failed++ == 0)
                std::fprintf(stderr, "unit %d: %s\n", unit, modbus_strerror(errno));
            continue;
        }
        ++(got == expected ? tally.right : tally.wrong);
        tally.ms.push_back(took.count());
    }
    modbus_close(ctx);
    modbus_free(ctx);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 7) {
        std::fputs(
            "usage: pwm5-tcp-client HOST PORT CLIENTS COUNT FIRST[-LAST] EXPECTED\n", stderr);
        return 2;
    }
    const int clients = std::atoi(argv[3]);
    const long count = std::atol(argv[4]);
    int first = 0, last = 0;
    const int units = std::sscanf(argv[5], "%d-%d", &first, &last);
    if (units == 1)
        last = first;
    const auto expected = expectedFrom(argv[6]);
    if (clients < 1 || count < 1 || units < 1 || last < first || expected.empty()) {
        std::fputs("pwm5-tcp-client: bad CLIENTS, COUNT, units or EXPECTED\n", stderr);
        return 2;
    }

    for (int unit = first; unit <= last; ++unit)
        if (!expected.contains(unit)) {
            std::fprintf(stderr, "pwm5-tcp-client: unit %d is not in %s\n", unit, argv[6]);
            return 2;
        }

    std::vector<Tally> tallies(static_cast<std::size_t>(clients));
    std::latch start(clients + 1);
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i) {
        const int unit = first + i % (last - first + 1);
        threads.emplace_back(client, argv[1], std::atoi(argv[2]), unit, count,
            std::cref(expected.at(unit)), std::ref(start), std::ref(tallies[i]));
    }
    start.arrive_and_wait();
    const auto began = Clock::now();
    for (auto& t : threads)
        t.join();
    const std::chrono::duration<double> seconds = Clock::now() - began;

    Tally all;
    all.connected = true;
    for (const auto& t : tallies) {
        all.connected = all.connected && t.connected;
        all.right += t.right;
        all.wrong += t.wrong;
        all.failed += t.failed;
        all.ms.insert(all.ms.end(), t.ms.begin(), t.ms.end());
    }
    const bench::Stats ms = bench::statsOf(all.ms);
    std::printf("%ld %ld %ld %.3f %.3f %.3f %.3f\n", all.right, all.wrong, all.failed,
        seconds.count(), ms.median, ms.min, ms.max);
    return all.connected ? 0 : 1;
}
