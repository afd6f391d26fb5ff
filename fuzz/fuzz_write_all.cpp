// Any twelve field texts, any Combo6 text and any address text: write-all either refuses, when
// a field is no decimal number, or sends a 57-byte frame whose every register lies in its range,
// with the values the panel's input rules give and the on/off states exactly as the window
// holds them.
//
// Input: a flags byte (0x01: the texts are UTF-8, otherwise Latin-1), six on/off states as
// 16-bit values high byte first (CH1 to CH5 outputs, key lock), the current baud code (modulo
// 6), then the texts separated by line feeds: the twelve fields in the order Text3, Text12,
// Text4, Text5, Text10, Text11, Text13, Text6, Text7, Text8, Text9, Text14, then Combo6, then
// the slave address. Missing texts are empty; the address takes the rest.

#include "fuzz_check.h"

#include "device/parameter_set.h"
#include "device/parameters.h"
#include "device/register_map.h"
#include "device/requests.h"
#include "device/write_all.h"
#include "modbus/crc16.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QString>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace {

using fuzzcheck::require;

constexpr std::size_t kFieldCount = 12;
constexpr std::size_t kTextCount = kFieldCount + 2;
constexpr std::size_t kHeaderSize = 14;

// The twelve fields of the panel, written out here apart from the tool's tables: the control,
// default for an empty text, bounds, and whether the value travels in tenths (rewritten with
// one decimal) or whole.
struct Field {
    const char* control;
    const char* defaultText;
    std::int64_t lowest;
    std::int64_t highest;
    bool tenths;
};

constexpr std::array<Field, kFieldCount> kFields { {
    { "Text3", "5", 1, 24, true },
    { "Text12", "1", 1, 5, false },
    { "Text4", "2", 1, 150000, false },
    { "Text5", "10", 1, 150000, false },
    { "Text10", "2000", 1, 150000, false },
    { "Text11", "10000", 1, 150000, false },
    { "Text13", "150000", 1, 150000, false },
    { "Text6", "50", 0, 100, true },
    { "Text7", "50", 0, 100, true },
    { "Text8", "50", 0, 100, true },
    { "Text9", "50", 0, 100, true },
    { "Text14", "50", 0, 100, true },
} };

// Where the tool keeps field i among its texts: the position of the parameter its control shows.
std::size_t toolIndex(std::size_t i)
{
    for (std::size_t j = 0; j < device::kFields.size(); ++j)
        if (device::parameter(device::kFields[j]).control == kFields[i].control)
            return j;
    require(false, "every field listed here is a field of the tool");
    return 0;
}

constexpr std::size_t kVoltage = 0;
constexpr std::size_t kChannel = 1;
constexpr std::size_t kFirstFrequency = 2;
constexpr std::size_t kFirstDuty = 7;

constexpr std::array<const char*, 6> kBaudTexts { "4800", "9600", "19200", "38400", "57600",
    "115200" };

// Element k of the written block is register 0x0001 + k.
constexpr std::size_t kVoltageSlot = 0;
constexpr std::size_t kFirstFrequencySlot = 1;
constexpr std::size_t kFirstDutySlot = 11;
constexpr std::size_t kFirstOutputSlot = 16;
constexpr std::size_t kChannelSlot = 21;
constexpr std::size_t kKeyLockSlot = 22;
constexpr std::size_t kBaudSlot = 23;

// A plain decimal: an optional sign, ASCII digits with at most one point, at least one digit.
struct PlainDecimal {
    bool negative = false;
    QString whole; // without leading zeros
    QString fraction;
};

std::optional<PlainDecimal> plainDecimal(const QString& text)
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("([+-]?)([0-9]*)(?:\\.([0-9]*))?")));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch() || match.capturedLength(2) + match.capturedLength(3) == 0)
        return std::nullopt;
    PlainDecimal value;
    value.negative = match.captured(1) == u'-';
    value.whole = match.captured(2);
    while (value.whole.startsWith(u'0'))
        value.whole.remove(0, 1);
    value.fraction = match.captured(3);
    return value;
}

bool hasNonZeroDigit(const QString& digits)
{
    return std::any_of(digits.begin(), digits.end(), [](QChar c) { return c != u'0'; });
}

bool isZero(const PlainDecimal& value)
{
    return value.whole.isEmpty() && !hasNonZeroDigit(value.fraction);
}

// Bounds are whole numbers from 0 to 150000, so seven digits before the point exceed them all.
bool exceeds(const PlainDecimal& value, std::int64_t bound)
{
    if (value.negative && !isZero(value))
        return false;
    if (value.whole.size() > 6)
        return true;
    const std::int64_t whole = value.whole.toLongLong();
    return whole > bound || (whole == bound && hasNonZeroDigit(value.fraction));
}

bool below(const PlainDecimal& value, std::int64_t bound)
{
    if (value.negative && !isZero(value))
        return true;
    return value.whole.size() <= 6 && value.whole.toLongLong() < bound;
}

int fractionDigit(const PlainDecimal& value, qsizetype index)
{
    return index < value.fraction.size() ? value.fraction[index].unicode() - u'0' : 0;
}

// What write-all makes of one field: its register value and the text the field shows after.
struct Expected {
    std::int64_t value;
    QString text;
};

Expected expectedField(const Field& field, const QString& text, const PlainDecimal& typed)
{
    const std::int64_t scale = field.tenths ? 10 : 1;
    std::optional<std::int64_t> bound;
    if (exceeds(typed, field.highest))
        bound = field.highest;
    else if (below(typed, field.lowest))
        bound = field.lowest;

    Expected expected;
    if (bound) {
        expected.value = *bound * scale;
    } else {
        // Within the bounds the value is not negative; halves round up, away from zero.
        const std::int64_t whole = typed.whole.toLongLong();
        expected.value = field.tenths
            ? whole * 10 + fractionDigit(typed, 0) + (fractionDigit(typed, 1) >= 5 ? 1 : 0)
            : whole + (fractionDigit(typed, 0) >= 5 ? 1 : 0);
    }
    if (field.tenths)
        expected.text
            = QString::number(expected.value / 10) + u'.' + QString::number(expected.value % 10);
    else
        expected.text = bound ? QString::number(*bound) : text;
    return expected;
}

std::optional<std::uint8_t> expectedAddress(const QString& text)
{
    static const QRegularExpression digits(
        QRegularExpression::anchoredPattern(QStringLiteral("0*([0-9]+)")));
    const QRegularExpressionMatch match = digits.match(text);
    if (!match.hasMatch() || match.capturedLength(1) > 3 || match.captured(1).toInt() > 255)
        return std::nullopt;
    return static_cast<std::uint8_t>(match.captured(1).toInt());
}

std::int16_t expectedBaudCode(const QString& combo6Text, std::int16_t current)
{
    for (std::size_t code = 0; code < kBaudTexts.size(); ++code)
        if (combo6Text == QLatin1String(kBaudTexts[code]))
            return static_cast<std::int16_t>(code);
    return current;
}

QByteArray expectedFrame(std::uint8_t slave, const device::WrittenRegisters& registers)
{
    QByteArray frame;
    for (const int byte : { int { slave }, 0x10, 0x00, 0x01, 0x00, 0x18, 0x30 })
        frame.append(static_cast<char>(byte));
    for (const std::uint16_t value : registers) {
        frame.append(static_cast<char>(value >> 8));
        frame.append(static_cast<char>(value & 0xFFU));
    }
    return frame + fuzzcheck::crcBytes(frame);
}

void checkRanges(const device::WrittenRegisters& registers)
{
    require(registers[kVoltageSlot] >= 10 && registers[kVoltageSlot] <= 240,
        "the voltage register lies in 10 to 240");
    for (std::size_t channel = 0; channel < device::kChannelCount; ++channel) {
        const std::size_t high = kFirstFrequencySlot + 2 * channel;
        const std::uint32_t hertz = std::uint32_t { registers[high] } << 16 | registers[high + 1];
        require(hertz >= 1 && hertz <= 150000, "every frequency lies in 1 to 150000");
        require(registers[kFirstDutySlot + channel] <= 1000, "every duty lies in 0 to 1000");
    }
    require(registers[kChannelSlot] >= 1 && registers[kChannelSlot] <= 5,
        "the channel number lies in 1 to 5");
    require(registers[kBaudSlot] <= 5, "the baud code lies in 0 to 5");
}

void checkOneDecimal(const QString& text, std::uint16_t value)
{
    static const QRegularExpression oneDecimal(
        QRegularExpression::anchoredPattern(QStringLiteral("([0-9]+)\\.([0-9])")));
    const QRegularExpressionMatch match = oneDecimal.match(text);
    require(match.hasMatch(), "voltage and duties are rewritten with exactly one decimal");
    require(match.captured(1).toLongLong() * 10 + match.captured(2).toInt() == value,
        "a rewritten text reads back as its register in tenths");
}

void checkAccepted(const device::WriteAll& written, const std::array<QString, kFieldCount>& texts,
    const std::array<PlainDecimal, kFieldCount>& typed, const QString& combo6Text,
    const device::ParameterSet& current)
{
    const device::WrittenRegisters& registers = written.registers;
    const device::ParameterSet& parameters = written.parameters;
    checkRanges(registers);

    require(parameters.outputState == current.outputState
            && parameters.keyLockState == current.keyLockState,
        "write-all leaves the on/off states as they were");
    for (std::size_t channel = 0; channel < device::kChannelCount; ++channel)
        require(registers[kFirstOutputSlot + channel]
                == static_cast<std::uint16_t>(current.outputState[channel]),
            "each output is sent as the parameter set holds it");
    require(registers[kKeyLockSlot] == static_cast<std::uint16_t>(current.keyLockState),
        "the key lock is sent as the parameter set holds it");

    for (std::size_t i = 0; i < kFieldCount; ++i) {
        const Expected expected = expectedField(kFields[i], texts[i], typed[i]);
        require(
            written.texts[toolIndex(i)] == expected.text, "each field shows the rewritten text");
        std::int64_t sent = 0;
        if (i == kVoltage) {
            sent = registers[kVoltageSlot];
        } else if (i == kChannel) {
            sent = registers[kChannelSlot];
        } else if (i >= kFirstDuty) {
            sent = registers[kFirstDutySlot + (i - kFirstDuty)];
        } else {
            const std::size_t high = kFirstFrequencySlot + 2 * (i - kFirstFrequency);
            sent = std::int64_t { registers[high] } << 16 | registers[high + 1];
            require(parameters.frequency[i - kFirstFrequency] == sent,
                "the parameter set keeps each frequency that is sent");
        }
        require(sent == expected.value, "each register holds the clamped, rounded field value");
        if (kFields[i].tenths)
            checkOneDecimal(written.texts[toolIndex(i)], static_cast<std::uint16_t>(sent));
    }
    require(parameters.channelNumber == registers[kChannelSlot],
        "the parameter set keeps the channel number that is sent");
    require(registers[kBaudSlot] == expectedBaudCode(combo6Text, current.baudRateCode)
            && parameters.baudRateCode == registers[kBaudSlot],
        "the baud code is Combo6's exact text, or the current code");

    // A second click on the rewritten panel sends the same again.
    const std::optional<device::WriteAll> second
        = device::normalisedWriteAll(written.texts, combo6Text, parameters);
    require(second && second->texts == written.texts && second->registers == registers
            && second->parameters == parameters,
        "write-all on its own rewritten fields changes nothing");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    require(fuzzcheck::crcPassesCheckValue(), "the target's own CRC gives the check value");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto headerByte = [&](std::size_t i) { return i < size ? data[i] : std::uint8_t { 0 }; };
    const bool utf8 = (headerByte(0) & 0x01U) != 0;
    device::ParameterSet current;
    for (std::size_t i = 0; i < 6; ++i) {
        const auto state
            = static_cast<std::int16_t>(headerByte(1 + 2 * i) << 8 | headerByte(2 + 2 * i));
        (i < device::kChannelCount ? current.outputState[i] : current.keyLockState) = state;
    }
    current.baudRateCode = static_cast<std::int16_t>(headerByte(13) % 6);
    // Values that write-all must overwrite.
    current.frequency = { -1, 0, 150001, 65536, 7 };
    current.channelNumber = -3;

    const QByteArray body = size > kHeaderSize
        ? QByteArray(reinterpret_cast<const char*>(data + kHeaderSize),
            static_cast<qsizetype>(size - kHeaderSize))
        : QByteArray();
    std::array<QString, kTextCount> texts;
    qsizetype from = 0;
    for (std::size_t i = 0; i < kTextCount && from <= body.size(); ++i) {
        qsizetype end = body.indexOf('\n', from);
        if (end < 0 || i + 1 == kTextCount)
            end = body.size();
        const QByteArray raw = body.sliced(from, end - from);
        texts[i] = utf8 ? QString::fromUtf8(raw) : QString::fromLatin1(raw);
        from = end + 1;
    }
    const QString& combo6Text = texts[kFieldCount];
    const QString& addressText = texts[kFieldCount + 1];

    device::FieldTexts fields;
    std::array<QString, kFieldCount> afterDefaults;
    std::array<PlainDecimal, kFieldCount> typed;
    bool allPlain = true;
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        fields[toolIndex(i)] = texts[i];
        afterDefaults[i] = texts[i].isEmpty() ? QLatin1String(kFields[i].defaultText) : texts[i];
        const std::optional<PlainDecimal> value = plainDecimal(afterDefaults[i]);
        allPlain = allPlain && value.has_value();
        if (value)
            typed[i] = *value;
    }

    const std::optional<device::WriteAll> written
        = device::normalisedWriteAll(fields, combo6Text, current);
    require(written.has_value() == allPlain,
        "write-all is refused exactly when a field is no plain decimal");

    const std::optional<std::uint8_t> slave = device::slaveAddress(addressText);
    require(slave == expectedAddress(addressText),
        "a slave address is one to three ASCII digits after leading zeros, 0 to 255");

    if (!written)
        return 0;
    checkAccepted(*written, afterDefaults, typed, combo6Text, current);
    if (!slave)
        return 0;

    const QByteArray frame = modbus::framed(device::writeAllRequest(*slave, written->registers));
    require(frame.size() == 57, "a write-all frame is 57 bytes");
    require(fuzzcheck::endsWithCrc(frame), "a write-all frame ends with its CRC, low byte first");
    require(frame == expectedFrame(*slave, written->registers),
        "a write-all frame carries the address, 0x10, 0x0001, 24 registers, 48 bytes");
    return 0;
}
