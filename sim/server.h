#pragma once

#include <memory>
#include <span>
#include <string>

#include <modbus.h>

#include "options.h"
#include "pty_line.h"
#include "register_file.h"
#include "reply_builder.h"

namespace sim {

// The module's side of the exchanges: libmodbus receives each request and checks its address
// and CRC, the register file judges and applies writes, and libmodbus builds the reply, which
// leaves after the response delay at the pace of the line.
class Server {
public:
    Server(const Options& options, PtyLine& line, RegisterFile& registers);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    bool ok() const { return ctx_ != nullptr && builder_ && builder_->ok(); }

    // Waits up to 100 ms for one request and answers it; prints one line per exchange.
    void serveOnce();

private:
    // Returns the trace of what was sent, or "none: " and why not.
    std::string handle(std::span<const std::uint8_t> request);
    std::string send(const Bytes& reply, const LineSettings& line);

    const Options& options_;
    PtyLine& line_;
    RegisterFile& registers_;
    modbus_t* ctx_ = nullptr;
    std::unique_ptr<ReplyBuilder> builder_;
    // After a frame for another slave libmodbus spends its next receive on that slave's reply.
    bool skipReceive_ = false;
};

} // namespace sim
