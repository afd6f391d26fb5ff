#pragma once

#include <vector>

#include "reply_builder.h"

namespace sim {

// What the line carries when more than one module answers a request. The modules start
// together, after the same delay and with the same faults, so the line carries their bytes
// OR-ed together, as long as the longest: a 1 from any of them wins. Replies alike byte for
// byte would pass through that whole, which no real line does; so then every stretch of the
// result that would pass as a frame with a good CRC has the byte that ends it changed, until
// no stretch does. No master can take any part of a collision for a reply, even one that hunts
// for a frame behind the noise before it.
Bytes collided(const std::vector<Bytes>& transmissions);

} // namespace sim
