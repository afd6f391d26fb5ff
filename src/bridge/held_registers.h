#pragma once

#include <QByteArray>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <span>

namespace bridge {

// A reply's register bytes, as held.
QByteArray registerData(std::span<const std::uint8_t> registers);

// What the last good read of each module held, so that a read of registers it covered, not
// older than the age a client allows (--max-age), is answered at once without the line. A
// write to a module, through any face or a command, makes what is held of it too old until the
// module has been read again.
class HeldRegisters {
public:
    using Instant = std::chrono::milliseconds;

    // A read's answer: count registers from first on, as the reply's data bytes (high first).
    void read(int address, std::uint16_t first, const QByteArray& data, Instant now);
    void written(int address);

    // The data bytes of count registers from first on, when the last read of the module holds
    // all of them and is not older than maxAge.
    std::optional<QByteArray> answer(int address, std::uint16_t first, std::uint16_t count,
        Instant now, std::chrono::milliseconds maxAge) const;

private:
    struct Held {
        std::uint16_t first = 0;
        QByteArray data; // two bytes a register
        Instant when {};
    };
    std::map<int, Held> modules_;
};

} // namespace bridge
