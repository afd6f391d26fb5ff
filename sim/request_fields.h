#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sim {

struct WriteRequest {
    int start = 0;
    std::vector<std::uint16_t> values;
};

// The registers a request writes (function 0x06 or 0x10, values high byte first), or nothing for
// other requests and for a 0x10 whose counts disagree; libmodbus answers those itself.
std::optional<WriteRequest> writeOf(std::span<const std::uint8_t> request);

// How long an RTU request is, as far as its first bytes tell; a module has no other way to
// find its end, and libmodbus frames a request by the same rules. Two bytes give the function,
// the fixed part after it gives the byte count of 0x0F, 0x10 and 0x17, the CRC ends it. While
// fewer bytes are at hand than it returns, read up to that many and ask again.
std::size_t requestLength(std::span<const std::uint8_t> head);

} // namespace sim
