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

// Length of an RTU request from its header, for tracing frames that libmodbus passed over
// without telling their length. At most the buffer's size.
std::size_t frameLength(std::span<const std::uint8_t> buffer);

} // namespace sim
