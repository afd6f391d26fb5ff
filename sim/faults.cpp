#include "faults.h"

#include <algorithm>

namespace sim {

Bytes spoiled(Bytes reply, const Options& options, ReplyBuilder& builder)
{
    constexpr std::size_t kCrcLength = 2;
    if (reply.size() <= kCrcLength)
        return reply;
    if (options.wrongAddress) {
        reply.resize(reply.size() - kCrcLength);
        reply[0] = static_cast<std::uint8_t>(reply[0] + 1);
        reply = builder.frame(reply);
    }
    if (options.badCrc)
        reply.back() ^= 0xFF;
    return reply;
}

std::vector<std::span<const std::uint8_t>> pieces(const Bytes& reply, int count)
{
    if (reply.empty())
        return {};
    const std::size_t n = std::clamp<std::size_t>(static_cast<std::size_t>(count), 1, reply.size());
    std::vector<std::span<const std::uint8_t>> result;
    std::size_t offset = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t size = reply.size() / n + (i < reply.size() % n ? 1 : 0);
        result.emplace_back(reply.data() + offset, size);
        offset += size;
    }
    return result;
}

std::string faultNotes(const Options& options)
{
    std::string notes;
    auto add = [&notes](const std::string& note) { notes += (notes.empty() ? "" : ", ") + note; };
    if (options.wrongAddress)
        add("wrong address");
    if (options.badCrc)
        add("bad CRC");
    if (options.split > 1)
        add("in " + std::to_string(options.split) + " pieces");
    if (!options.garbage.empty())
        add("after noise");
    if (options.lateMs > 0)
        add(std::to_string(options.lateMs) + " ms late");
    return notes;
}

} // namespace sim
