#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include <modbus.h>

#include "register_file.h"

namespace sim {

using Bytes = std::vector<std::uint8_t>;

// Lets libmodbus build each reply, CRC included, without sending it: for the moment of the reply
// the context's socket is the write end of a pipe, and the framed reply is read back from the
// other end. The caller then sends it at the line's pace, or spoils it on purpose.
class ReplyBuilder {
public:
    ReplyBuilder(modbus_t* ctx, int lineFd);
    ~ReplyBuilder();
    ReplyBuilder(const ReplyBuilder&) = delete;
    ReplyBuilder& operator=(const ReplyBuilder&) = delete;

    bool ok() const { return mapping_ != nullptr && pipe_[0] >= 0; }

    // The answer modbus_reply() gives from these register values; empty for a broadcast.
    Bytes reply(std::span<const std::uint8_t> request,
        const std::array<std::uint16_t, kRegisterCount>& registers);
    Bytes exception(std::span<const std::uint8_t> request, unsigned code);
    // Address, function code and data framed with a CRC.
    Bytes frame(std::span<const std::uint8_t> withoutCrc);

private:
    template <typename Send> Bytes capture(Send send);

    modbus_t* ctx_;
    int lineFd_;
    int pipe_[2] = { -1, -1 };
    modbus_mapping_t* mapping_;
};

} // namespace sim
