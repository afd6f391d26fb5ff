#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace device {

// How the 16-bit value of a holding register reads. All values travel high byte first.
enum class Encoding {
    SupplyHundredths, // read: supply voltage in hundredths of a volt; written: new slave address
    Tenths, // tenths of a volt or of a percent
    FrequencyHigh, // high word of a frequency in hertz; the next register holds the low word
    FrequencyLow,
    OnOff, // 1 = on or locked, every other value off or unlocked
    Whole, // plain number
    BaudCode, // index into kBaudRates
    Unused,
};

struct Register {
    std::uint16_t address;
    const char* meaning;
    Encoding encoding;
    // Settable range in register units; for a frequency pair, in hertz for the whole value.
    std::int32_t lowest;
    std::int32_t highest;
    const char* control; // objectName of the panel control that shows it, empty when none
};

inline constexpr std::size_t kRegisterCount = 26;

inline constexpr std::array<Register, kRegisterCount> kRegisters { {
    // Reading 0x0000 yields the supply voltage; writing it (to slave 0 only) sets the address.
    { 0x0000, "supply voltage / slave address", Encoding::SupplyHundredths, 1, 254, "Label19" },
    { 0x0001, "PWM output voltage", Encoding::Tenths, 10, 240, "Text3" },
    { 0x0002, "CH1 frequency, high word", Encoding::FrequencyHigh, 1, 150000, "Text4" },
    { 0x0003, "CH1 frequency, low word", Encoding::FrequencyLow, 1, 150000, "Text4" },
    { 0x0004, "CH2 frequency, high word", Encoding::FrequencyHigh, 1, 150000, "Text5" },
    { 0x0005, "CH2 frequency, low word", Encoding::FrequencyLow, 1, 150000, "Text5" },
    { 0x0006, "CH3 frequency, high word", Encoding::FrequencyHigh, 1, 150000, "Text10" },
    { 0x0007, "CH3 frequency, low word", Encoding::FrequencyLow, 1, 150000, "Text10" },
    { 0x0008, "CH4 frequency, high word", Encoding::FrequencyHigh, 1, 150000, "Text11" },
    { 0x0009, "CH4 frequency, low word", Encoding::FrequencyLow, 1, 150000, "Text11" },
    { 0x000A, "CH5 frequency, high word", Encoding::FrequencyHigh, 1, 150000, "Text13" },
    { 0x000B, "CH5 frequency, low word", Encoding::FrequencyLow, 1, 150000, "Text13" },
    { 0x000C, "CH1 duty", Encoding::Tenths, 0, 1000, "Text6" },
    { 0x000D, "CH2 duty", Encoding::Tenths, 0, 1000, "Text7" },
    { 0x000E, "CH3 duty", Encoding::Tenths, 0, 1000, "Text8" },
    { 0x000F, "CH4 duty", Encoding::Tenths, 0, 1000, "Text9" },
    { 0x0010, "CH5 duty", Encoding::Tenths, 0, 1000, "Text14" },
    { 0x0011, "CH1 output", Encoding::OnOff, 0, 1, "Command4" },
    { 0x0012, "CH2 output", Encoding::OnOff, 0, 1, "Command6" },
    { 0x0013, "CH3 output", Encoding::OnOff, 0, 1, "Command7" },
    { 0x0014, "CH4 output", Encoding::OnOff, 0, 1, "Command8" },
    { 0x0015, "CH5 output", Encoding::OnOff, 0, 1, "Command9" },
    { 0x0016, "channel number", Encoding::Whole, 1, 5, "Text12" },
    { 0x0017, "key lock", Encoding::OnOff, 0, 1, "Command5" },
    { 0x0018, "module baud rate code", Encoding::BaudCode, 0, 5, "Combo6" },
    { 0x0019, "not used", Encoding::Unused, 0, 0, "" },
} };

constexpr bool addressesAreIndices()
{
    for (std::size_t i = 0; i < kRegisters.size(); ++i)
        if (kRegisters[i].address != i)
            return false;
    return true;
}
static_assert(addressesAreIndices(), "kRegisters is indexed by register address");

inline constexpr std::uint16_t kSlaveAddressRegister = 0x0000;
inline constexpr std::uint16_t kVoltageRegister = 0x0001;
inline constexpr std::uint16_t kFirstFrequencyRegister = 0x0002;
inline constexpr std::uint16_t kFirstDutyRegister = 0x000C;
inline constexpr std::uint16_t kFirstOutputRegister = 0x0011;
inline constexpr std::uint16_t kChannelNumberRegister = 0x0016;
inline constexpr std::uint16_t kKeyLockRegister = 0x0017;
inline constexpr std::uint16_t kBaudRateRegister = 0x0018;

// Write-all covers 0x0001 to 0x0018: 0x0000 would change the slave address, 0x0019 is unused.
inline constexpr std::uint16_t kFirstWrittenRegister = 0x0001;
inline constexpr std::size_t kWrittenRegisterCount = 24;
using WrittenRegisters = std::array<std::uint16_t, kWrittenRegisterCount>;

// The module's baud-rate code is the index into this list, which is also the order of Combo6.
inline constexpr std::array<std::int32_t, 6> kBaudRates { 4800, 9600, 19200, 38400, 57600, 115200 };

} // namespace device
