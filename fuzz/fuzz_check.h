#pragma once

#include "support/test_crc.h"

#include <cstdio>
#include <cstdlib>

// What the fuzz targets share: the way a broken property stops the run, and a CRC apart from the
// tool's to check frames against, so a fault in the tool's CRC routine cannot hide itself.
namespace fuzzcheck {

// libFuzzer keeps the input that made the process abort as its crash artifact.
inline void require(bool holds, const char* property)
{
    if (holds)
        return;
    std::fprintf(stderr, "property broken: %s\n", property);
    std::abort();
}

// The tests' own CRC, under the names the targets use.
using testcrc::crc16;
using testcrc::crcBytes;
using testcrc::endsWithCrc;

inline bool crcPassesCheckValue()
{
    return testcrc::passesCheckValue();
}

} // namespace fuzzcheck
