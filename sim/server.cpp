#include "server.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

#include "collision.h"
#include "crc16.h"
#include "exchange_log.h"
#include "faults.h"
#include "pacing.h"
#include "request_fields.h"
#include "request_reader.h"

namespace sim {

namespace {

constexpr int kWakeUpMs = 100; // to notice signals between requests
constexpr int kByteTimeoutMs = 50;
constexpr std::size_t kEchoLength = 6; // address, function, register, value or count

// Reasons for no reply, each with the addresses of the modules that gave it, in their order.
using Reasons = std::vector<std::pair<std::string, std::vector<int>>>;

void add(Reasons& reasons, const std::string& why, int address)
{
    for (auto& [reason, addresses] : reasons)
        if (reason == why) {
            addresses.push_back(address);
            return;
        }
    reasons.push_back({ why, { address } });
}

} // namespace

Server::Server(const Options& options, PtyLine& line, std::vector<RegisterFile>& modules)
    : options_(options)
    , line_(line)
    , modules_(modules)
{
    // The device name and speed are never used: the context only frames replies, into a pipe.
    ctx_ = modbus_new_rtu(line.slavePath().c_str(), 9600, 'N', 8, 1);
    if (!ctx_)
        return;
    modbus_set_socket(ctx_, line.fd());
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
    const Received received = receiveRequest(line_.fd(), kWakeUpMs, kByteTimeoutMs);
    // A request cut short is noise to a module, which waits for the next one.
    if (received.kind == Received::Kind::Nothing || received.kind == Received::Kind::Cut)
        return;
    const std::string time = clockText();
    const std::span<const std::uint8_t> request(received.bytes);

    // The modules the request is for, at their addresses before it; the trace names them, or
    // all modules when it is for none of them.
    std::vector<RegisterFile*> addressed;
    std::vector<int> named;
    for (RegisterFile& module : modules_)
        if (request[0] == MODBUS_BROADCAST_ADDRESS || module.slaveAddress() == request[0]) {
            addressed.push_back(&module);
            named.push_back(module.slaveAddress());
        }
    if (addressed.empty())
        for (const RegisterFile& module : modules_)
            named.push_back(module.slaveAddress());

    std::string outcome;
    if (received.kind != Received::Kind::Whole) {
        line_.dropPendingRequest();
        outcome = std::string("none: ")
            + modbus_strerror(
                received.kind == Received::Kind::TooLong ? EMBBADDATA : received.error);
    } else if (addressed.empty()) {
        // As a module does, the frame is passed over without a look at its CRC.
        outcome = "none: for slave " + std::to_string(request[0])
            + (named.size() == 1 ? ", this is " : ", these are ") + moduleNames(named);
    } else if (!endsWithItsCrc(request)) {
        line_.dropPendingRequest();
        outcome = "none: bad CRC";
    } else {
        outcome = handle(request, addressed);
    }
    printLine(time + "  " + moduleNames(named) + "  " + hexText(request) + "  ->  " + outcome);
}

std::string Server::handle(std::span<const std::uint8_t> request, std::span<RegisterFile*> modules)
{
    line_.dropUnreadReplies();
    const LineSettings line = line_.settings();
    std::vector<Bytes> replies;
    std::string note;
    Reasons silent;
    for (RegisterFile* module : modules) {
        const int address = module->slaveAddress();
        // A request at another speed is noise to the module: it neither applies nor answers it.
        if (line.rate != module->baudRate()) {
            add(silent,
                "master at " + std::to_string(line.rate) + " baud, module at "
                    + std::to_string(module->baudRate()),
                address);
            continue;
        }
        Answer a = answer(*module, request);
        if (a.reply.empty()) {
            add(silent, a.why, address);
        } else {
            replies.push_back(std::move(a.reply));
            note = a.why;
        }
    }

    if (replies.empty() && silent.size() == 1)
        return "none: " + silent[0].first;
    if (replies.empty()) {
        std::string outcome = "none: ";
        for (std::size_t i = 0; i < silent.size(); ++i)
            outcome += (i > 0 ? "; " : "") + moduleNames(silent[i].second) + ": " + silent[i].first;
        return outcome;
    }
    std::string outcome = send(replies, line);
    if (replies.size() == 1 && !note.empty())
        outcome += " (" + note + ")";
    for (const auto& [why, addresses] : silent)
        outcome += "; none from " + moduleNames(addresses) + ": " + why;
    return outcome;
}

Server::Answer Server::answer(RegisterFile& module, std::span<const std::uint8_t> request)
{
    const bool broadcast = request[0] == MODBUS_BROADCAST_ADDRESS;
    const auto write = writeOf(request);
    std::optional<WriteOutcome> outcome;
    // A new address or rate takes effect after this exchange; the reply keeps the request's
    // address and leaves at the line's rate.
    if (write)
        outcome = module.write(write->start, write->values);

    Answer a;
    if (broadcast) {
        // Modbus never answers a refused broadcast, nor a broadcast read.
        if (outcome != WriteOutcome::Applied)
            return { {}, write ? "broadcast refused" : "broadcast is for writes only" };
        if (options_.silentBroadcast)
            return { {}, "broadcast applied, no answer" };
        // libmodbus keeps silent on address 0, so the echo is framed here.
        a.reply = builder_->frame(request.first(kEchoLength));
    } else if (outcome == WriteOutcome::IllegalValue) {
        a = { builder_->exception(request, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE),
            "value out of range" };
    } else {
        a.reply = builder_->reply(request, module.readable());
    }
    if (a.reply.empty())
        return { {}, "libmodbus built no reply" };
    if (options_.noReply)
        return { {}, "replies are off" };
    return a;
}

std::string Server::send(const std::vector<Bytes>& replies, const LineSettings& line)
{
    // Each module sends its noise, then its reply as the faults spoil it.
    std::vector<Bytes> transmissions;
    for (const Bytes& reply : replies) {
        Bytes sent = options_.garbage;
        const Bytes spoilt = spoiled(reply, options_, *builder_);
        sent.insert(sent.end(), spoilt.begin(), spoilt.end());
        transmissions.push_back(std::move(sent));
    }
    const Bytes onLine = transmissions.size() == 1 ? transmissions[0] : collided(transmissions);
    const std::span<const std::uint8_t> noise
        = std::span(onLine).first(std::min(options_.garbage.size(), onLine.size()));
    const Bytes reply(onLine.begin() + static_cast<std::ptrdiff_t>(noise.size()), onLine.end());

    bool complete
        = sleepMs(options_.delayMs + options_.lateMs) && sendPaced(line_.fd(), noise, line);
    bool first = true;
    for (auto piece : pieces(reply, options_.split)) {
        complete
            = complete && (first || sleepMs(kSplitGapMs)) && sendPaced(line_.fd(), piece, line);
        first = false;
    }

    std::string trace = noise.empty() ? "" : hexText(noise) + " | ";
    trace += hexText(reply);
    std::string notes = faultNotes(options_);
    if (replies.size() > 1)
        notes = std::to_string(replies.size()) + " replies collide" + (notes.empty() ? "" : ", ")
            + notes;
    if (!notes.empty())
        trace += " (" + notes + ")";
    if (!complete)
        trace += " (cut short)";
    return trace;
}

} // namespace sim
