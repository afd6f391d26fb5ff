#include "collision.h"

#include <algorithm>
#include <cstdint>

#include "crc16.h"

namespace sim {

namespace {

// Address, function code and CRC: the shortest frame.
constexpr std::size_t kShortestFrame = 4;

} // namespace

Bytes collided(const std::vector<Bytes>& transmissions)
{
    Bytes line;
    for (const Bytes& bytes : transmissions) {
        line.resize(std::max(line.size(), bytes.size()));
        for (std::size_t i = 0; i < bytes.size(); ++i)
            line[i] |= bytes[i];
    }

    // For the stretches that end at `end`: crcs[s] is the CRC of line[s] to line[end - 3],
    // all that comes before the stretch's own last two bytes.
    std::vector<std::uint16_t> crcs;
    for (std::size_t end = kShortestFrame; end <= line.size(); ++end) {
        for (std::uint16_t& crc : crcs)
            crc = crcStep(crc, line[end - 3]);
        crcs.push_back(crcStep(crcStep(kCrcStart, line[end - 4]), line[end - 3]));
        const auto endsAFrame = [&](std::uint8_t last) {
            return std::any_of(crcs.begin(), crcs.end(), [&](std::uint16_t crc) {
                return line[end - 2] == (crc & 0xFF) && last == (crc >> 8);
            });
        };
        // Each stretch rules out one value of the last byte, so a free one is near.
        if (endsAFrame(line[end - 1])) {
            auto last = static_cast<std::uint8_t>(line[end - 1] ^ 0xFF);
            for (int tries = 0; tries < 256 && endsAFrame(last); ++tries)
                ++last;
            line[end - 1] = last;
        }
    }
    return line;
}

} // namespace sim
