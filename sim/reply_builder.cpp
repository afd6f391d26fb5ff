#include "reply_builder.h"

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace sim {

ReplyBuilder::ReplyBuilder(modbus_t* ctx, int lineFd)
    : ctx_(ctx)
    , lineFd_(lineFd)
    , mapping_(modbus_mapping_new(0, 0, kRegisterCount, 0))
{
    if (::pipe2(pipe_, O_NONBLOCK | O_CLOEXEC) != 0)
        pipe_[0] = pipe_[1] = -1;
}

ReplyBuilder::~ReplyBuilder()
{
    if (mapping_)
        modbus_mapping_free(mapping_);
    for (int fd : pipe_)
        if (fd >= 0)
            ::close(fd);
}

template <typename Send> Bytes ReplyBuilder::capture(Send send)
{
    modbus_set_socket(ctx_, pipe_[1]);
    send();
    modbus_set_socket(ctx_, lineFd_);

    Bytes bytes;
    std::uint8_t chunk[MODBUS_RTU_MAX_ADU_LENGTH];
    ssize_t n;
    while ((n = ::read(pipe_[0], chunk, sizeof chunk)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    return bytes;
}

Bytes ReplyBuilder::reply(std::span<const std::uint8_t> request,
    const std::array<std::uint16_t, kRegisterCount>& registers)
{
    // The register file is the truth; the mapping is only libmodbus's copy to answer from, and
    // whatever modbus_reply() writes into it is overwritten before the next reply.
    std::copy(registers.begin(), registers.end(), mapping_->tab_registers);
    return capture(
        [&] { modbus_reply(ctx_, request.data(), static_cast<int>(request.size()), mapping_); });
}

Bytes ReplyBuilder::exception(std::span<const std::uint8_t> request, unsigned code)
{
    return capture([&] { modbus_reply_exception(ctx_, request.data(), code); });
}

Bytes ReplyBuilder::frame(std::span<const std::uint8_t> withoutCrc)
{
    return capture([&] {
        modbus_send_raw_request(ctx_, withoutCrc.data(), static_cast<int>(withoutCrc.size()));
    });
}

} // namespace sim
