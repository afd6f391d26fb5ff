// Whatever arrives between a request and the reply tick, in whatever pieces: the receive buffer
// keeps it bounded, the judgement accepts only a whole reply of an accepted length whose header
// and CRC fit the request, and the decoder turns only a read reply into panel edits.
//
// Input: request kind (modulo 6: nothing sent, read all, toggle, write all, baud change, address
// change), slave address, detail (toggle in bits 0-2 and its new state in bit 3, baud code or
// new address), flags, then pieces. Each piece is a control byte c with c & 0x7F data bytes
// following; when c & 0x80 a repeat byte r follows c and the piece arrives r + 1 times (a streaming
// device). Flag 0x01 lets the request's first two bytes arrive first; flag 0x02 lets the CRC of all
// that arrived follow the pieces, as a last piece.

#include "fuzz_check.h"

#include "device/parameter_set.h"
#include "device/register_map.h"
#include "device/reply_decoder.h"
#include "device/requests.h"
#include "device/toggles.h"
#include "link/receive_buffer.h"
#include "link/reply_check.h"
#include "modbus/crc16.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

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
        const device::Toggle& toggle = device::kToggles[(detail & 0x07U) % device::kToggles.size()];
        return device::toggleRequest(slave, toggle.address, (detail >> 3) & 1U);
    }
    case 3: {
        device::WrittenRegisters registers {};
        registers.fill(detail);
        return device::writeAllRequest(slave, registers);
    }
    case 4:
        return device::baudChangeRequest(slave, static_cast<std::int16_t>(detail % 6));
    case 5:
        return device::addressChangeRequest(detail);
    default:
        return {};
    }
}

// The panel control that shows each register, as the documents name it; empty for none.
struct Shown {
    const char* control;
    const char* indicator; // for the on/off registers
};

constexpr std::array<Shown, 26> kShown { {
    { "Label19", nullptr },
    { "Text3", nullptr },
    { "Text4", nullptr },
    { "Text4", nullptr },
    { "Text5", nullptr },
    { "Text5", nullptr },
    { "Text10", nullptr },
    { "Text10", nullptr },
    { "Text11", nullptr },
    { "Text11", nullptr },
    { "Text13", nullptr },
    { "Text13", nullptr },
    { "Text6", nullptr },
    { "Text7", nullptr },
    { "Text8", nullptr },
    { "Text9", nullptr },
    { "Text14", nullptr },
    { "Command4", "Label15(1)" },
    { "Command6", "Label15(2)" },
    { "Command7", "Label15(3)" },
    { "Command8", "Label15(4)" },
    { "Command9", "Label15(5)" },
    { "Text12", nullptr },
    { "Command5", "Label15(0)" },
    { "Combo6", nullptr },
    { "", nullptr },
} };

constexpr std::array<const char*, 6> kBaudTexts { "4800", "9600", "19200", "38400", "57600",
    "115200" };

bool isControlOfRegisterMap(const QString& control)
{
    return std::any_of(
        device::kRegisters.begin(), device::kRegisters.end(), [&](const device::Register& reg) {
            return reg.control[0] != '\0' && control == QLatin1String(reg.control);
        });
}

// A whole number as the panel shows it: ASCII digits, no sign, no separators, no leading zero.
std::optional<std::uint64_t> wholeNumber(const QString& text)
{
    if (text.isEmpty() || text.size() > 12 || (text.size() > 1 && text[0] == u'0'))
        return std::nullopt;
    std::uint64_t value = 0;
    for (const QChar c : text) {
        if (c.unicode() < u'0' || c.unicode() > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

QString withDecimals(unsigned value, int decimals)
{
    const unsigned scale = decimals == 2 ? 100 : 10;
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

void checkEdit(const device::PanelEdit& edit, std::uint16_t value, std::uint16_t highWord)
{
    using Kind = device::PanelEdit::Kind;
    const Shown& shown = kShown[edit.address];
    require(edit.control == QLatin1String(shown.control),
        "an edit names the control that shows its register");
    require(isControlOfRegisterMap(edit.control), "an edit names a control of the register map");

    const std::uint16_t address = edit.address;
    if (address == 0x0000) {
        require(edit.kind == Kind::Text && edit.text == withDecimals(value, 2) + u'V',
            "the supply voltage shows hundredths of a volt and V");
    } else if (address == 0x0001 || (address >= 0x000C && address <= 0x0010)) {
        require(edit.kind == Kind::Text && edit.text == withDecimals(value, 1),
            "voltage and duty show tenths with one decimal");
    } else if (address >= 0x0003 && address <= 0x000B && address % 2 == 1) {
        const std::optional<std::uint64_t> hertz = wholeNumber(edit.text);
        require(
            edit.kind == Kind::Text && hertz.has_value(), "a frequency shows as a whole number");
        require(*hertz == (std::uint64_t { highWord } << 16 | value),
            "a frequency shows high * 65536 + low as unsigned");
    } else if ((address >= 0x0011 && address <= 0x0015) || address == 0x0017) {
        const bool on = value == 1;
        const bool keyLock = address == 0x0017;
        const char* caption = keyLock ? (on ? "Lock" : "UnLock") : (on ? "ON" : "OFF");
        const device::IndicatorColour colour = !on ? device::IndicatorColour::White
            : keyLock                              ? device::IndicatorColour::Red
                                                   : device::IndicatorColour::Green;
        require(edit.kind == Kind::Toggle && edit.text == QLatin1String(caption)
                && edit.indicator == QLatin1String(shown.indicator) && edit.colour == colour,
            "an on/off register shows its caption and colour, on only for 1");
    } else if (address == 0x0016) {
        require(edit.kind == Kind::Text && edit.text == QString::number(value),
            "the channel number shows as a whole number");
    } else if (address == 0x0018) {
        require(edit.kind == Kind::ComboIndex && edit.comboIndex >= 0 && edit.comboIndex <= 5
                && edit.comboIndex == value
                && edit.text == QLatin1String(kBaudTexts[static_cast<std::size_t>(value)]),
            "a baud code selects Combo6 item 0 to 5, the one it names");
    } else {
        require(false, "no edit for a frequency's high word or the unused register");
    }
}

// Only a read reply whose byte count fits its size changes the panel and the parameters.
// The reply is at least 7 bytes long.
void checkDecoded(const QByteArray& reply)
{
    const device::ParameterSet current = currentParameters();
    const device::DecodedReply decoded = device::decodedReply(reply, current);

    const auto byteAt = [&](qsizetype i) { return static_cast<std::uint8_t>(reply[i]); };
    std::size_t carried = 0;
    const qsizetype byteCount = reply.size() - 5;
    if (byteAt(1) == 0x03 && byteAt(2) == byteCount && byteCount % 2 == 0)
        carried = static_cast<std::size_t>(byteCount / 2);
    if (carried == 0) {
        require(decoded.edits.empty(), "a reply that is no read makes no edits");
        require(decoded.parameters == current, "a reply that is no read changes no parameter");
        return;
    }

    const auto value = [&](std::size_t address) {
        const qsizetype at = 3 + 2 * static_cast<qsizetype>(address);
        return static_cast<std::uint16_t>(byteAt(at) << 8 | byteAt(at + 1));
    };

    std::array<bool, 26> edited {};
    std::uint16_t previous = 0;
    for (std::size_t i = 0; i < decoded.edits.size(); ++i) {
        const device::PanelEdit& edit = decoded.edits[i];
        require(edit.address < carried, "edits only for registers the reply carries");
        require(i == 0 || edit.address > previous, "edits in ascending register order, once");
        previous = edit.address;
        edited[edit.address] = true;
        checkEdit(edit, value(edit.address), edit.address > 0 ? value(edit.address - 1U) : 0);
    }

    for (std::size_t address = 0; address < carried; ++address) {
        const bool frequencyHigh = address >= 0x0002 && address <= 0x000A && address % 2 == 0;
        const bool hidden
            = frequencyHigh || address == 0x0019 || (address == 0x0018 && value(address) > 5);
        require(edited[address] == !hidden, "every carried register that is shown has its edit");
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
    require(decoded.parameters == expected,
        "the parameters take exactly the carried frequencies and on/off states");
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

    serial::ReceiveBuffer buffer;
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
    require(received.size() <= serial::ReceiveBuffer::kCapacity, "the buffer stays bounded");
    require(received == arrived.first(std::min(arrived.size(), serial::ReceiveBuffer::kCapacity)),
        "the buffer holds the first bytes that arrived, in order");

    require(serial::isAcceptedLength(received.size()) == acceptedSize(received.size()),
        "exactly the documented reply sizes are accepted");
    const bool whole = buffer.total() == received.size() && acceptedSize(received.size());
    const bool header = sentFrame.size() >= 2 && received.size() >= 2
        && std::memcmp(received.constData(), sentFrame.constData(), 2) == 0;
    const bool crc = fuzzcheck::endsWithCrc(received);

    const serial::Verdict verdict = serial::judgeReply(sentFrame, received, buffer.total());
    switch (verdict) {
    case serial::Verdict::Accepted:
        require(whole && header && crc, "an accepted reply has an accepted size, header and CRC");
        break;
    case serial::Verdict::WrongLength:
        require(!whole, "a reply refused for its length has no accepted size");
        break;
    case serial::Verdict::WrongHeader:
        require(!header, "a reply refused for its header has another address or function");
        break;
    case serial::Verdict::BadCrc:
        require(whole && header && !crc, "a reply refused for its CRC is otherwise right");
        break;
    }
    require((verdict == serial::Verdict::Accepted) == (whole && header && crc),
        "a whole reply with the request's header and a right CRC is accepted");

    // The decoder sees only accepted replies; any reply of an accepted size is held to the same
    // rules, so a decoder that trusted the judgement's other checks would show here.
    if (acceptedSize(received.size()))
        checkDecoded(received);
    return 0;
}
