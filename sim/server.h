#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include <modbus.h>

#include "options.h"
#include "pty_line.h"
#include "register_file.h"
#include "reply_builder.h"

namespace sim {

// The modules' side of the exchanges, for every module on the line. Each request is taken off
// the line whole, as its header tells its length; the modules it is for (its address, or all of
// them for a broadcast) hear it only when their rate is the line's. Each one that hears it
// applies it to its own register file, which judges the writes, and libmodbus builds its reply.
// The replies leave after the response delay at the pace of the line, as a collision when there
// is more than one.
class Server {
public:
    Server(const Options& options, PtyLine& line, std::vector<RegisterFile>& modules);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    bool ok() const { return ctx_ != nullptr && builder_ && builder_->ok(); }

    // Waits up to 100 ms for one request and answers it; prints one line per exchange.
    void serveOnce();

private:
    // One module's reply to a request it heard, with a note for the trace; or no reply and why.
    struct Answer {
        Bytes reply;
        std::string why;
    };

    // Returns the trace of what was sent, or "none: " and why not.
    std::string handle(std::span<const std::uint8_t> request, std::span<RegisterFile*> modules);
    Answer answer(RegisterFile& module, std::span<const std::uint8_t> request);
    std::string send(const std::vector<Bytes>& replies, const LineSettings& line);

    const Options& options_;
    PtyLine& line_;
    std::vector<RegisterFile>& modules_;
    // Builds every module's replies: a reply takes its address from the request.
    modbus_t* ctx_ = nullptr;
    std::unique_ptr<ReplyBuilder> builder_;
};

} // namespace sim
