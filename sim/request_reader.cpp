#include "request_reader.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

#include <modbus.h>

#include "request_fields.h"
#include "signals.h"

namespace sim {

Received receiveRequest(int fd, int firstByteMs, int byteMs)
{
    Received r;
    const auto end = [&r](Received::Kind kind, int error = 0) {
        r.kind = kind;
        r.error = error;
        return r;
    };
    for (std::size_t length = requestLength(r.bytes); r.bytes.size() < length;
         length = requestLength(r.bytes)) {
        if (length > MODBUS_RTU_MAX_ADU_LENGTH)
            return end(Received::Kind::TooLong);
        pollfd p { fd, POLLIN, 0 };
        const int ready = ::poll(&p, 1, r.bytes.empty() ? firstByteMs : byteMs);
        if (ready < 0 && errno == EINTR) {
            // A stop, or the table between requests, is taken at once; SIGUSR1 inside a
            // request only costs one more wait for its next byte.
            if (r.bytes.empty() || stopRequested())
                return end(r.bytes.empty() ? Received::Kind::Nothing : Received::Kind::Cut);
            continue;
        }
        if (ready == 0)
            return end(r.bytes.empty() ? Received::Kind::Nothing : Received::Kind::Cut);
        if (ready < 0)
            return end(Received::Kind::Failed, errno);

        std::uint8_t chunk[MODBUS_RTU_MAX_ADU_LENGTH];
        const ssize_t n = ::read(fd, chunk, length - r.bytes.size());
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            return end(Received::Kind::Failed, n < 0 ? errno : EIO);
        r.bytes.insert(r.bytes.end(), chunk, chunk + n);
    }
    return end(Received::Kind::Whole);
}

} // namespace sim
