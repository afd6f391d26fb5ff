#pragma once

#include <span>
#include <string>
#include <vector>

#include "options.h"
#include "reply_builder.h"

namespace sim {

inline constexpr int kSplitGapMs = 10;

// The reply as the fault options spoil it: another slave address (with a CRC that fits it, so
// only the address is wrong), then a corrupted last CRC byte.
Bytes spoiled(Bytes reply, const Options& options, ReplyBuilder& builder);

// The reply cut into at most `count` pieces of nearly equal size, the larger ones first.
std::vector<std::span<const std::uint8_t>> pieces(const Bytes& reply, int count);

// The active faults in words, for the exchange trace; empty when there are none.
std::string faultNotes(const Options& options);

} // namespace sim
