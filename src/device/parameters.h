#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// The module's parameters, one row each: the one place where a parameter's register, name,
// unit, scale, range, write-all default, input rule and panel control are written. The window,
// the request builders, the decoder and write-all all read this table.
namespace device {

inline constexpr std::size_t kChannelCount = 5;

// The module's baud-rate code is the index into this list, which is also the order of the
// rates in the window's lists.
inline constexpr std::array<std::int32_t, 6> kBaudRates { 4800, 9600, 19200, 38400, 57600, 115200 };

// In table order, which is register order.
enum class ParameterId : std::uint8_t {
    SupplyVoltage,
    PwmVoltage,
    Ch1Frequency,
    Ch2Frequency,
    Ch3Frequency,
    Ch4Frequency,
    Ch5Frequency,
    Ch1Duty,
    Ch2Duty,
    Ch3Duty,
    Ch4Duty,
    Ch5Duty,
    Ch1Output,
    Ch2Output,
    Ch3Output,
    Ch4Output,
    Ch5Output,
    Channel,
    KeyLock,
    BaudRate,
};

// How a register value reads.
enum class Kind : std::uint8_t {
    Number, // a quantity in units of its scale
    Switch, // 1 = on or locked, every other value off or unlocked
    BaudCode, // the index of the module's rate in kBaudRates
};

// The register counts hundredths, tenths or whole units of the parameter's unit.
enum class Scale : std::uint8_t { Hundredths, Tenths, Whole };

constexpr int decimals(Scale scale)
{
    return scale == Scale::Hundredths ? 2 : scale == Scale::Tenths ? 1 : 0;
}

// What the operator may type into the parameter's field: these characters, up to maxLength of
// them. A parameter without a field has no characters.
struct InputRule {
    std::string_view allowed;
    int maxLength = 0;
};

struct Parameter {
    ParameterId id;
    std::string_view name; // for scripts and files
    // The channel whose own value it is, 1 to 5; 0 for a value of the whole module. Its name
    // then begins with "chN.", which the table's check holds it to.
    int channel;
    std::uint16_t address; // its first holding register
    std::uint16_t registerCount; // 2 for a 32-bit value, high word in the lower register
    Kind kind;
    Scale scale;
    std::string_view unit;
    bool settable; // false for what the module only measures
    // The settable range in register units; a value beyond a bound is clamped to it or refused.
    std::int64_t lowest;
    std::int64_t highest;
    std::int64_t startValue; // what the window's field shows at start-up, in register units
    std::string_view writeAllDefault; // write-all puts it into an empty field
    InputRule input;
    std::string_view control; // objectName of the panel control that shows it
};

namespace rows {

using enum ParameterId;

inline constexpr InputRule kWholeHertz { "0123456789", 6 };
inline constexpr InputRule kDutyDigits { "0123456789", 5 };

// Hertz as a 32-bit value over two registers.
constexpr Parameter frequency(ParameterId id, std::string_view name, int channel,
    std::uint16_t address, std::string_view writeAllDefault, std::string_view control)
{
    return { id, name, channel, address, 2, Kind::Number, Scale::Whole, "Hz", true, 1, 150000, 1000,
        writeAllDefault, kWholeHertz, control };
}

constexpr Parameter duty(ParameterId id, std::string_view name, int channel, std::uint16_t address,
    std::string_view control)
{
    return { id, name, channel, address, 1, Kind::Number, Scale::Tenths, "%", true, 0, 1000, 500,
        "50", kDutyDigits, control };
}

constexpr Parameter output(ParameterId id, std::string_view name, int channel,
    std::uint16_t address, std::string_view control)
{
    return { id, name, channel, address, 1, Kind::Switch, Scale::Whole, "", true, 0, 1, 0, "", {},
        control };
}

} // namespace rows

// Columns: id, name, channel, first register, register count, kind, scale, unit, settable,
// lowest, highest, start value, write-all default, input rule, control.
inline constexpr std::array kParameters {
    // Reading register 0x0000 yields the supply voltage; writing it sets the slave address.
    Parameter { rows::SupplyVoltage, "supply_voltage", 0, 0x0000, 1, Kind::Number,
        Scale::Hundredths, "V", false, 0, 65535, 0, "", {}, "Label19" },
    Parameter { rows::PwmVoltage, "pwm_voltage", 0, 0x0001, 1, Kind::Number, Scale::Tenths, "V",
        true, 10, 240, 50, "5", { "0123456789.", 4 }, "Text3" },
    rows::frequency(rows::Ch1Frequency, "ch1.frequency", 1, 0x0002, "2", "Text4"),
    rows::frequency(rows::Ch2Frequency, "ch2.frequency", 2, 0x0004, "10", "Text5"),
    rows::frequency(rows::Ch3Frequency, "ch3.frequency", 3, 0x0006, "2000", "Text10"),
    rows::frequency(rows::Ch4Frequency, "ch4.frequency", 4, 0x0008, "10000", "Text11"),
    rows::frequency(rows::Ch5Frequency, "ch5.frequency", 5, 0x000A, "150000", "Text13"),
    rows::duty(rows::Ch1Duty, "ch1.duty", 1, 0x000C, "Text6"),
    rows::duty(rows::Ch2Duty, "ch2.duty", 2, 0x000D, "Text7"),
    rows::duty(rows::Ch3Duty, "ch3.duty", 3, 0x000E, "Text8"),
    rows::duty(rows::Ch4Duty, "ch4.duty", 4, 0x000F, "Text9"),
    rows::duty(rows::Ch5Duty, "ch5.duty", 5, 0x0010, "Text14"),
    rows::output(rows::Ch1Output, "ch1.output", 1, 0x0011, "Command4"),
    rows::output(rows::Ch2Output, "ch2.output", 2, 0x0012, "Command6"),
    rows::output(rows::Ch3Output, "ch3.output", 3, 0x0013, "Command7"),
    rows::output(rows::Ch4Output, "ch4.output", 4, 0x0014, "Command8"),
    rows::output(rows::Ch5Output, "ch5.output", 5, 0x0015, "Command9"),
    Parameter { rows::Channel, "channel", 0, 0x0016, 1, Kind::Number, Scale::Whole, "", true, 1, 5,
        1, "1", { "12345", 1 }, "Text12" },
    Parameter { rows::KeyLock, "key_lock", 0, 0x0017, 1, Kind::Switch, Scale::Whole, "", true, 0, 1,
        0, "", {}, "Command5" },
    Parameter { rows::BaudRate, "baud_rate", 0, 0x0018, 1, Kind::BaudCode, Scale::Whole, "baud",
        true, 0, kBaudRates.size() - 1, 0, "", {}, "Combo6" },
    // Register 0x0019 is read with the others and means nothing.
};

inline constexpr std::size_t kParameterCount = kParameters.size();

constexpr std::size_t indexOf(ParameterId id)
{
    return static_cast<std::size_t>(id);
}

constexpr const Parameter& parameter(ParameterId id)
{
    return kParameters[indexOf(id)];
}

// Channel k counts from 0 for CH1.
constexpr ParameterId frequencyOf(std::size_t channel)
{
    return static_cast<ParameterId>(indexOf(ParameterId::Ch1Frequency) + channel);
}

constexpr ParameterId dutyOf(std::size_t channel)
{
    return static_cast<ParameterId>(indexOf(ParameterId::Ch1Duty) + channel);
}

constexpr ParameterId outputOf(std::size_t channel)
{
    return static_cast<ParameterId>(indexOf(ParameterId::Ch1Output) + channel);
}

// Where a parameter stands in kFields or kSwitches; the list's size when it is not in it.
template <std::size_t N>
constexpr std::size_t positionIn(const std::array<ParameterId, N>& ids, ParameterId id)
{
    return static_cast<std::size_t>(std::ranges::find(ids, id) - ids.begin());
}

// The parameter with this script name, or nullptr.
constexpr const Parameter* parameterNamed(std::string_view name)
{
    const auto found = std::ranges::find(kParameters, name, &Parameter::name);
    return found == kParameters.end() ? nullptr : &*found;
}

namespace rows {

constexpr bool isField(const Parameter& p)
{
    return !p.input.allowed.empty();
}

constexpr bool isSwitch(const Parameter& p)
{
    return p.kind == Kind::Switch;
}

template <std::size_t N, typename Test> constexpr std::array<ParameterId, N> idsWhere(Test test)
{
    std::array<ParameterId, N> ids {};
    std::size_t n = 0;
    for (const Parameter& p : kParameters)
        if (test(p))
            ids[n++] = p.id;
    return ids;
}

constexpr bool inRegisterOrder()
{
    for (std::size_t i = 0; i < kParameters.size(); ++i) {
        const Parameter& p = kParameters[i];
        if (indexOf(p.id) != i || p.registerCount < 1 || p.lowest > p.highest)
            return false;
        if (i > 0 && kParameters[i - 1].address + kParameters[i - 1].registerCount != p.address)
            return false;
    }
    return true;
}
static_assert(inRegisterOrder(), "kParameters is indexed by ParameterId and covers its registers");

// A channel's own value is named "chN." and the rest after it; no other name begins so.
constexpr bool namedForItsChannel(const Parameter& p)
{
    const bool channelName = p.name.size() > 4 && p.name.starts_with("ch") && p.name[3] == '.';
    if (p.channel == 0)
        return !channelName;
    return channelName && p.channel >= 1 && p.channel <= static_cast<int>(kChannelCount)
        && p.name[2] == '0' + p.channel;
}
static_assert(std::ranges::all_of(kParameters, namedForItsChannel),
    "a parameter's channel and its name's chN. agree");

constexpr bool familiesByChannel()
{
    for (std::size_t k = 0; k < kChannelCount; ++k) {
        const int channel = static_cast<int>(k) + 1;
        if (parameter(frequencyOf(k)).channel != channel || parameter(dutyOf(k)).channel != channel
            || parameter(outputOf(k)).channel != channel)
            return false;
    }
    return true;
}
static_assert(familiesByChannel(), "frequencyOf, dutyOf and outputOf count channels from 0");

} // namespace rows

// A parameter's name within its channel, as the channel's own JSON object keys it: "duty" for
// ch3.duty; the whole name for a value of the module.
constexpr std::string_view nameInChannel(const Parameter& p)
{
    return p.channel == 0 ? p.name : p.name.substr(4);
}

// The twelve parameters the operator types into fields, in table order; write-all reads them.
inline constexpr std::size_t kFieldCount = std::ranges::count_if(kParameters, rows::isField);
inline constexpr auto kFields = rows::idsWhere<kFieldCount>(rows::isField);

// The five channel outputs and the key lock, in table order; each has a toggle.
inline constexpr std::size_t kSwitchCount = std::ranges::count_if(kParameters, rows::isSwitch);
inline constexpr auto kSwitches = rows::idsWhere<kSwitchCount>(rows::isSwitch);

} // namespace device
