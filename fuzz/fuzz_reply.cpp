// Whatever arrives between a request and the reply tick, in whatever pieces: the receive buffer
// keeps it bounded, the judgement accepts only a whole reply of an accepted length whose header
// and CRC fit the request, the decoder reads parameters only from a read reply, and a master
// that stops as soon as it can knows exactly when the reply is whole or can no longer be.
//
// Input: request kind (modulo 6: nothing sent, read all, toggle, write all, baud change, address
// change), slave address, detail (toggle in bits 0-2 and its new state in bit 3, baud code or
// new address), flags, then pieces. Each piece is a control byte c with c & 0x7F data bytes
// following; when c & 0x80 a repeat byte r follows c and the piece arrives r + 1 times (a streaming
// device). Flag 0x01 lets the request's first two bytes arrive first; flag 0x02 lets the CRC of all
// that arrived follow the pieces, as a last piece.

#include "fuzz_check.h"

#include "device/parameter_set.h"
#include "device/parameter_value.h"
#include "device/register_map.h"
#include "device/reply_decoder.h"
#include "device/requests.h"
#include "modbus/crc16.h"
#include "rtu/receive_buffer.h"
#include "rtu/reply.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

using fuzzcheck::require;

constexpr std::uint8_t kLeadWithHeader = 0x01;
constexpr std::uint8_t kSealWithCrc = 0x02;

// Reply sizes in bytes: reads of 26, 14, 13, 8, 7, 6, 5 and 1 registers, and a write's answer.
constexpr std::array<qsizetype, 9> kAcceptedSizes { 57, 33, 31, 21, 19, 17, 15, 8, 7 };

bool acceptedSize(qsizetype size)
{
    return std::find(kAcceptedSizes.begin(), kAcceptedSizes.end(), size) != kAcceptedSizes.end();
}

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size)
        : data_(data)
        , size_(size)
    {
    }

    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    bool empty() const { return at_ >= size_; }
    QByteArray bytes(std::size_t count)
    {
        count = std::min(count, size_ - at_);
        const QByteArray taken(
            reinterpret_cast<const char*>(data_ + at_), static_cast<qsizetype>(count));
        at_ += count;
        return taken;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// The request whose reply is awaited, before its CRC; empty when nothing was sent.
QByteArray request(std::uint8_t kind, std::uint8_t slave, std::uint8_t detail)
{
    switch (kind % 6) {
    case 1:
        return device::readAllRequest(slave);
    case 2: {
        const device::ParameterId which
            = device::kSwitches[(detail & 0x07U) % device::kSwitchCount];
        return device::writeRequest(slave, device::parameter(which), (detail >> 3) & 1U);
    }
    case 3: {
        device::WrittenRegisters registers {};
        registers.fill(detail);
        return device::writeAllRequest(slave, registers);
    }
    case 4:
        return device::writeRequest(
            slave, device::parameter(device::ParameterId::BaudRate), detail % 6U);
    case 5:
        return device::addressChangeRequest(detail);
    default:
        return {};
    }
}

// Each parameter where the module keeps it, written out here apart from the tool's register
// map: its first register, how many, and how it reads (2 decimals, 1 decimal, whole).
struct Placed {
    const char* name;
    std::size_t address;
    std::size_t registers;
    int decimals;
};

constexpr std::array<Placed, 20> kPlaced { {
    { "supply_voltage", 0x00, 1, 2 },
    { "pwm_voltage", 0x01, 1, 1 },
    { "ch1.frequency", 0x02, 2, 0 },
    { "ch2.frequency", 0x04, 2, 0 },
    { "ch3.frequency", 0x06, 2, 0 },
    { "ch4.frequency", 0x08, 2, 0 },
    { "ch5.frequency", 0x0A, 2, 0 },
    { "ch1.duty", 0x0C, 1, 1 },
    { "ch2.duty", 0x0D, 1, 1 },
    { "ch3.duty", 0x0E, 1, 1 },
    { "ch4.duty", 0x0F, 1, 1 },
    { "ch5.duty", 0x10, 1, 1 },
    { "ch1.output", 0x11, 1, 0 },
    { "ch2.output", 0x12, 1, 0 },
    { "ch3.output", 0x13, 1, 0 },
    { "ch4.output", 0x14, 1, 0 },
    { "ch5.output", 0x15, 1, 0 },
    { "channel", 0x16, 1, 0 },
    { "key_lock", 0x17, 1, 0 },
    { "baud_rate", 0x18, 1, 0 },
} };

// A number as the module's value reads: ASCII digits, a point before the given number of
// decimals, no sign, no separators.
QString written(std::uint64_t value, int decimals)
{
    if (decimals == 0)
        return QString::number(value);
    const std::uint64_t scale = decimals == 2 ? 100 : 10;
    return QString::number(value / scale) + u'.'
        + QString::number(value % scale).rightJustified(decimals, u'0');
}

// The parameters the window holds before the reply: none of them a value the decoder could
// produce by accident from an all-zero reply.
device::ParameterSet currentParameters()
{
    device::ParameterSet set;
    set.frequency = { 11, 22, 33, 44, 55 };
    set.outputState = { 3, -1, 7, 1, 0 };
    set.keyLockState = 9;
    set.channelNumber = 4;
    set.baudRateCode = 5;
    return set;
}

// Only a read reply whose byte count fits its size carries parameters, and exactly those whose
// registers it carries whole. The reply is at least 7 bytes long.
void checkDecoded(const QByteArray& reply)
{
    const device::ParameterSet current = currentParameters();
    const device::Reading reading = device::decodedRegisters(
        line::replyView(line::Failure::None, reply).registerBytes, current);

    const auto byteAt = [&](qsizetype i) { return static_cast<std::uint8_t>(reply[i]); };
    std::size_t carried = 0;
    const qsizetype byteCount = reply.size() - 5;
    if (byteAt(1) == 0x03 && byteAt(2) == byteCount && byteCount % 2 == 0)
        carried = static_cast<std::size_t>(byteCount / 2);
    require(reading.carried == carried, "a reading carries the registers of a read reply only");

    const auto value = [&](std::size_t address) {
        const qsizetype at = 3 + 2 * static_cast<qsizetype>(address);
        return static_cast<std::uint16_t>(byteAt(at) << 8 | byteAt(at + 1));
    };
    for (const Placed& placed : kPlaced) {
        const device::Parameter* p = device::parameterNamed(placed.name);
        require(p != nullptr, "every parameter placed here is one the tool names");
        const bool whole = placed.address + placed.registers <= carried;
        require(reading.carries(p->id) == whole, "a parameter is read when all its registers are");
        if (!whole)
            continue;
        std::uint64_t expected = value(placed.address);
        if (placed.registers == 2)
            expected = expected << 16 | value(placed.address + 1);
        const device::Units units = reading.values[device::indexOf(p->id)];
        require(units == expected, "a value is its register, or high * 65536 + low, unsigned");
        require(device::valueText(*p, units) == written(expected, placed.decimals),
            "a value reads with the decimals of its scale");
    }

    device::ParameterSet expected = current;
    for (std::size_t channel = 0; channel < device::kChannelCount; ++channel) {
        const std::size_t low = 0x0003 + 2 * channel;
        if (low < carried)
            expected.frequency[channel]
                = static_cast<std::int32_t>(std::uint32_t { value(low - 1) } << 16 | value(low));
        if (0x0011 + channel < carried)
            expected.outputState[channel] = static_cast<std::int16_t>(value(0x0011 + channel));
    }
    if (0x0017 < carried)
        expected.keyLockState = static_cast<std::int16_t>(value(0x0017));
    require(reading.parameters == expected,
        "the parameters take exactly the carried frequencies and on/off states");
}

// What a master that stops as soon as it can learns from the bytes in so far.
void checkProgress(const QByteArray& sentFrame, const QByteArray& arrived)
{
    const line::ReplyProgress progress = line::replyProgress(sentFrame, arrived);
    const auto byteAt
        = [](const QByteArray& bytes, qsizetype i) { return static_cast<std::uint8_t>(bytes[i]); };
    const std::uint8_t function = byteAt(sentFrame, 1);
    const bool read = function == 0x03;
    require(progress.size == (read ? 57 : 8), "a whole reply is 57 bytes for read all, else 8");

    const bool exception = arrived.size() >= 2 && byteAt(arrived, 1) == (function | 0x80);
    const qsizetype size = exception ? 5 : progress.size;
    using line::ReplyState;
    ReplyState state = ReplyState::Incomplete;
    if (!arrived.isEmpty() && arrived[0] != sentFrame[0])
        state = ReplyState::WrongAddress;
    else if (arrived.size() >= 2 && !exception && byteAt(arrived, 1) != function)
        state = ReplyState::WrongFunction;
    else if (read && !exception && arrived.size() >= 3 && byteAt(arrived, 2) != 52)
        state = ReplyState::WrongByteCount;
    else if (arrived.size() > size)
        state = ReplyState::TooLong;
    else if (arrived.size() == size)
        state = !fuzzcheck::endsWithCrc(arrived) ? ReplyState::BadCrc
            : exception                          ? ReplyState::Exception
            // The answer to a write repeats its address, function, register and value or count.
            : !read && arrived.first(6) != sentFrame.first(6) ? ReplyState::WrongEcho
                                                              : ReplyState::Complete;
    require(progress.state == state, "the reply's progress follows its first wrong byte or size");
    require(state != ReplyState::Exception || progress.exceptionCode == byteAt(arrived, 2),
        "an exception reply tells its code");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    require(fuzzcheck::crcPassesCheckValue(), "the target's own CRC gives the check value");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input input(data, size);
    const std::uint8_t kind = input.byte();
    const std::uint8_t slave = input.byte();
    const std::uint8_t detail = input.byte();
    const std::uint8_t flags = input.byte();

    const QByteArray sent = request(kind, slave, detail);
    const QByteArray sentFrame = sent.isEmpty() ? QByteArray() : modbus::framed(sent);
    require(sent.isEmpty() || fuzzcheck::endsWithCrc(sentFrame), "a sent frame carries its CRC");

    line::ReceiveBuffer buffer;
    QByteArray arrived;
    const auto deliver = [&](const QByteArray& piece) {
        buffer.append(piece);
        arrived.append(piece);
    };
    if ((flags & kLeadWithHeader) != 0)
        deliver(sentFrame.first(std::min<qsizetype>(2, sentFrame.size())));
    while (!input.empty()) {
        const std::uint8_t control = input.byte();
        const int repeats = (control & 0x80U) != 0 ? input.byte() + 1 : 1;
        const QByteArray piece = input.bytes(control & 0x7FU);
        for (int i = 0; i < repeats; ++i)
            deliver(piece);
    }
    if ((flags & kSealWithCrc) != 0)
        deliver(fuzzcheck::crcBytes(arrived));

    const QByteArray& received = buffer.bytes();
    require(buffer.total() == arrived.size(), "the buffer counts every byte that arrived");
    require(received.size() <= line::ReceiveBuffer::kCapacity, "the buffer stays bounded");
    require(received == arrived.first(std::min(arrived.size(), line::ReceiveBuffer::kCapacity)),
        "the buffer holds the first bytes that arrived, in order");

    require(line::isAcceptedLength(received.size()) == acceptedSize(received.size()),
        "exactly the documented reply sizes are accepted");
    const bool whole = buffer.total() == received.size() && acceptedSize(received.size());
    const bool header = sentFrame.size() >= 2 && received.size() >= 2
        && std::memcmp(received.constData(), sentFrame.constData(), 2) == 0;
    const bool crc = fuzzcheck::endsWithCrc(received);

    const line::Failure verdict = line::judgeReply(sentFrame, received, buffer.total());
    switch (verdict) {
    case line::Failure::None:
        require(whole && header && crc, "an accepted reply has an accepted size, header and CRC");
        break;
    case line::Failure::NoReply:
        require(received.isEmpty(), "a reply refused as none is nothing");
        break;
    case line::Failure::WrongLength:
        require(!whole, "a reply refused for its length has no accepted size");
        break;
    case line::Failure::WrongSlave:
        require(sentFrame.isEmpty() || received.at(0) != sentFrame.at(0),
            "a reply refused for its address has another");
        [[fallthrough]];
    case line::Failure::WrongFunction:
        require(whole && !header, "a reply refused for its header has another address or function");
        break;
    case line::Failure::BadCrc:
        require(whole && header && !crc, "a reply refused for its CRC is otherwise right");
        break;
    default:
        require(false, "the window's rule ends in none of the line's failures");
    }
    require((verdict == line::Failure::None) == (whole && header && crc),
        "a whole reply with the request's header and a right CRC is accepted");

    if (!sentFrame.isEmpty()) {
        checkProgress(sentFrame, arrived);
        if (line::replyProgress(sentFrame, arrived).state == line::ReplyState::Complete)
            require(verdict == line::Failure::None,
                "a reply that is whole for the master that stops early is one the window takes");
    }

    // The decoder sees only accepted replies; any reply of an accepted size is held to the same
    // rules, so a decoder that trusted the judgement's other checks would show here.
    if (acceptedSize(received.size()))
        checkDecoded(received);
    return 0;
}
