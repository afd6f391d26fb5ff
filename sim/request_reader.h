#pragma once

#include <cstdint>
#include <vector>

namespace sim {

struct Received {
    enum class Kind {
        Nothing, // no request began within the wait
        Whole,
        Cut, // the line fell silent, or a stop came, before the request was whole
        TooLong, // its header announces more than an RTU frame holds; the rest is unread
        Failed, // the line could not be read; `error` says why
    };
    Kind kind = Kind::Nothing;
    std::vector<std::uint8_t> bytes; // what was read
    int error = 0;
};

// Waits up to firstByteMs for a request and reads it as far as its header says it goes, each
// byte within byteMs of the one before; what follows it stays on the line for the next call.
Received receiveRequest(int fd, int firstByteMs, int byteMs);

} // namespace sim
