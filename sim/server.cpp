#include "server.h"

#include <cerrno>
#include <optional>

#include "exchange_log.h"
#include "faults.h"
#include "pacing.h"
#include "request_fields.h"

namespace sim {

namespace {

constexpr std::uint32_t kWakeUpUs = 100'000; // to notice signals between requests
constexpr std::uint32_t kByteTimeoutUs = 50'000;
// How long libmodbus waits for another slave's reply before it listens for requests again;
// at its default of 0.5 s it would swallow the master's next request.
constexpr std::uint32_t kOtherReplyWaitUs = 1'000;
constexpr std::size_t kEchoLength = 6; // address, function, register, value or count

} // namespace

Server::Server(const Options& options, PtyLine& line, RegisterFile& registers)
    : options_(options)
    , line_(line)
    , registers_(registers)
{
    // The device name and speed are never used: the context serves on our pty via its socket.
    ctx_ = modbus_new_rtu(line.slavePath().c_str(), 9600, 'N', 8, 1);
    if (!ctx_)
        return;
    modbus_set_socket(ctx_, line.fd());
    modbus_set_slave(ctx_, registers.slaveAddress());
    modbus_set_indication_timeout(ctx_, 0, kWakeUpUs);
    modbus_set_byte_timeout(ctx_, 0, kByteTimeoutUs);
    modbus_set_response_timeout(ctx_, 0, kOtherReplyWaitUs);
    builder_ = std::make_unique<ReplyBuilder>(ctx_, line.fd());
}

Server::~Server()
{
    builder_.reset();
    if (ctx_)
        modbus_free(ctx_);
}

void Server::serveOnce()
{
    std::uint8_t buffer[MODBUS_RTU_MAX_ADU_LENGTH] {};
    const int n = modbus_receive(ctx_, buffer);
    const int error = errno;
    if (skipReceive_) {
        skipReceive_ = false;
        return;
    }
    const std::string time = clockText();
    if (n > 0) {
        const std::span<const std::uint8_t> request(buffer, static_cast<std::size_t>(n));
        const std::string trace = hexText(request);
        printLine(time + "  " + trace + "  ->  " + handle(request));
        return;
    }
    const std::span<const std::uint8_t> frame(buffer, frameLength(buffer));
    if (n == 0) {
        skipReceive_ = true;
        printLine(time + "  " + hexText(frame) + "  ->  none: for slave "
            + std::to_string(buffer[0]) + ", this is slave "
            + std::to_string(registers_.slaveAddress()));
    } else if (error == EMBBADCRC) {
        line_.dropPendingRequest();
        printLine(time + "  " + hexText(frame) + "  ->  none: bad CRC");
    } else if (error != ETIMEDOUT && error != EINTR) {
        line_.dropPendingRequest();
        printLine(time + "  " + hexText(frame) + "  ->  none: " + modbus_strerror(error));
    }
}

std::string Server::handle(std::span<const std::uint8_t> request)
{
    line_.dropUnreadReplies();
    const LineSettings line = line_.settings();
    if (line.rate != registers_.baudRate())
        return "none: master at " + std::to_string(line.rate) + " baud, module at "
            + std::to_string(registers_.baudRate());

    const bool broadcast = request[0] == MODBUS_BROADCAST_ADDRESS;
    const auto write = writeOf(request);
    std::optional<WriteOutcome> outcome;
    if (write)
        outcome = registers_.write(write->start, write->values);
    // A new address takes effect after this exchange; the reply keeps the request's address.
    modbus_set_slave(ctx_, registers_.slaveAddress());

    if (broadcast) {
        // Modbus never answers a refused broadcast, nor a broadcast read.
        if (outcome != WriteOutcome::Applied)
            return write ? "none: broadcast refused" : "none: broadcast is for writes only";
        if (options_.silentBroadcast)
            return "none: broadcast applied, no answer";
        // libmodbus keeps silent on address 0, so the echo is framed here.
        return send(builder_->frame(request.first(kEchoLength)), line);
    }
    if (outcome == WriteOutcome::IllegalValue)
        return send(builder_->exception(request, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE), line)
            + " (value out of range)";
    return send(builder_->reply(request, registers_.readable()), line);
}

std::string Server::send(const Bytes& reply, const LineSettings& line)
{
    if (reply.empty())
        return "none: libmodbus built no reply";
    if (options_.noReply)
        return "none: replies are off";

    const Bytes sent = spoiled(reply, options_, *builder_);
    bool complete = sleepMs(options_.delayMs + options_.lateMs)
        && sendPaced(line_.fd(), options_.garbage, line);
    bool first = true;
    for (auto piece : pieces(sent, options_.split)) {
        complete
            = complete && (first || sleepMs(kSplitGapMs)) && sendPaced(line_.fd(), piece, line);
        first = false;
    }

    std::string trace = options_.garbage.empty() ? "" : hexText(options_.garbage) + " | ";
    trace += hexText(sent);
    const std::string notes = faultNotes(options_);
    if (!notes.empty())
        trace += " (" + notes + ")";
    if (!complete)
        trace += " (cut short)";
    return trace;
}

} // namespace sim
