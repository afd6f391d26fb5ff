#pragma once

#include <cstdint>
#include <span>

#include "pty_line.h"

namespace sim {

// False when a request to stop cut the sleep short.
bool sleepMs(int ms);

// Writes the bytes at the pace of a real line: each byte is handed over when its last stop bit
// would have arrived, so a 57-byte reply at 4800 baud, 10 bits per byte, takes about 119 ms.
// Returns false when the master's queue was full or a request to stop came; the rest is dropped.
bool sendPaced(int fd, std::span<const std::uint8_t> bytes, const LineSettings& line);

} // namespace sim
