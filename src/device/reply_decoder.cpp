#include "reply_decoder.h"

#include "device/decimal_text.h"
#include "device/register_map.h"
#include "device/requests.h"

namespace device {

namespace {

// Address, function code and byte count before the data; two CRC bytes after it.
constexpr qsizetype kHeaderSize = 3;
constexpr qsizetype kCrcSize = 2;

std::size_t carriedRegisters(const QByteArray& reply)
{
    if (reply.size() < kHeaderSize + kCrcSize
        || static_cast<std::uint8_t>(reply[1]) != kReadHoldingRegisters)
        return 0;
    const qsizetype byteCount = static_cast<std::uint8_t>(reply[2]);
    if (byteCount != reply.size() - kHeaderSize - kCrcSize || byteCount % 2 != 0
        || byteCount / 2 > static_cast<qsizetype>(kRegisterCount))
        return 0;
    return static_cast<std::size_t>(byteCount / 2);
}

std::uint16_t registerValue(const QByteArray& reply, std::size_t index)
{
    const auto at = kHeaderSize + 2 * static_cast<qsizetype>(index);
    return static_cast<std::uint16_t>(
        static_cast<std::uint8_t>(reply[at]) << 8 | static_cast<std::uint8_t>(reply[at + 1]));
}

PanelEdit textEdit(const Register& reg, QString text)
{
    return { reg.address, PanelEdit::Kind::Text, QString::fromLatin1(reg.control),
        std::move(text) };
}

constexpr bool sameText(const char* a, const char* b)
{
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// Every on/off register is shown by the toggle that writes it.
constexpr bool togglesMatchRegisters()
{
    for (const Register& reg : kRegisters) {
        if (reg.encoding != Encoding::OnOff)
            continue;
        bool found = false;
        for (const Toggle& toggle : kToggles)
            found
                = found || (toggle.address == reg.address && sameText(toggle.button, reg.control));
        if (!found)
            return false;
    }
    return true;
}
static_assert(togglesMatchRegisters());

} // namespace

DecodedReply decodedReply(const QByteArray& reply, const ParameterSet& current)
{
    DecodedReply result { {}, current };
    const std::size_t count = carriedRegisters(reply);
    for (std::size_t i = 0; i < count; ++i) {
        const Register& reg = kRegisters[i];
        const std::uint16_t value = registerValue(reply, i);
        switch (reg.encoding) {
        case Encoding::SupplyHundredths:
            result.edits.push_back(textEdit(reg, fixedPoint(value, 2) + u'V'));
            break;
        case Encoding::Tenths:
            result.edits.push_back(textEdit(reg, fixedPoint(value, 1)));
            break;
        case Encoding::FrequencyHigh:
            break; // shown with the low word, which follows it
        case Encoding::FrequencyLow: {
            // Frequencies span two registers, high word first.
            const std::uint32_t hertz
                = static_cast<std::uint32_t>(registerValue(reply, i - 1)) << 16 | value;
            const auto channel
                = static_cast<std::size_t>((reg.address - kFirstFrequencyRegister) / 2);
            result.parameters.frequency[channel] = static_cast<std::int32_t>(hertz);
            result.edits.push_back(textEdit(reg, QString::number(hertz)));
            break;
        }
        case Encoding::OnOff: {
            const Toggle toggle = toggleAt(reg.address).value();
            const auto state = static_cast<std::int16_t>(value);
            stateOf(result.parameters, toggle.state) = state;
            const ToggleLook look = toggleLook(toggle, state);
            result.edits.push_back(
                { reg.address, PanelEdit::Kind::Toggle, QString::fromLatin1(toggle.button),
                    look.caption, QString::fromLatin1(toggle.indicator), look.colour });
            break;
        }
        case Encoding::Whole:
            result.edits.push_back(textEdit(reg, QString::number(value)));
            break;
        case Encoding::BaudCode:
            // A code the module should not report leaves Combo6 as it is.
            if (value < kBaudRates.size())
                result.edits.push_back(
                    { reg.address, PanelEdit::Kind::ComboIndex, QString::fromLatin1(reg.control),
                        QString::number(kBaudRates[value]), {}, IndicatorColour::White, value });
            break;
        case Encoding::Unused:
            break;
        }
    }
    return result;
}

} // namespace device
