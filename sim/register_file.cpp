#include "register_file.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

struct RegisterInfo {
    const char* meaning;
    std::uint16_t startValue;
    std::uint16_t min;
    std::uint16_t max;
};

// Register 0x0000 is judged as a new slave address: 1 to 247, as Modbus keeps 0 for broadcast
// and 248 to 255 reserved. Frequencies span two registers, high word first; their range applies
// to the pair and is checked separately, so the single words carry the full 16-bit range here.
constexpr std::array<RegisterInfo, kRegisterCount> kRegisters { {
    { "supply voltage, 0.01 V (write: slave address)", 1234, 1, 247 },
    { "PWM voltage, 0.1 V", 50, 10, 240 },
    { "CH1 frequency high word", 0, 0, 0xFFFF },
    { "CH1 frequency low word", 1000, 0, 0xFFFF },
    { "CH2 frequency high word", 0, 0, 0xFFFF },
    { "CH2 frequency low word", 1000, 0, 0xFFFF },
    { "CH3 frequency high word", 0, 0, 0xFFFF },
    { "CH3 frequency low word", 1000, 0, 0xFFFF },
    { "CH4 frequency high word", 0, 0, 0xFFFF },
    { "CH4 frequency low word", 1000, 0, 0xFFFF },
    { "CH5 frequency high word", 0, 0, 0xFFFF },
    { "CH5 frequency low word", 1000, 0, 0xFFFF },
    { "CH1 duty, 0.1 %", 500, 0, 1000 },
    { "CH2 duty, 0.1 %", 500, 0, 1000 },
    { "CH3 duty, 0.1 %", 500, 0, 1000 },
    { "CH4 duty, 0.1 %", 500, 0, 1000 },
    { "CH5 duty, 0.1 %", 500, 0, 1000 },
    { "CH1 output", 0, 0, 1 },
    { "CH2 output", 0, 0, 1 },
    { "CH3 output", 0, 0, 1 },
    { "CH4 output", 0, 0, 1 },
    { "CH5 output", 0, 0, 1 },
    { "channel number", 1, 1, 5 },
    { "key lock", 0, 0, 1 },
    { "baud-rate code", 1, 0, kBaudRates.size() - 1 },
    { "not used", 0, 0, 0xFFFF },
} };

constexpr int kFirstFrequency = 0x0002;
constexpr int kLastFrequency = 0x000B;
constexpr std::uint32_t kMinFrequency = 1;
constexpr std::uint32_t kMaxFrequency = 150000;

bool isFrequency(int reg)
{
    return reg >= kFirstFrequency && reg <= kLastFrequency;
}

} // namespace

RegisterFile::RegisterFile(std::uint16_t supplyCentivolts, int slaveAddress, int baudRate)
    : slaveAddress_(slaveAddress)
{
    for (int reg = 0; reg < kRegisterCount; ++reg)
        registers_[reg] = kRegisters[reg].startValue;
    registers_[0] = supplyCentivolts;
    const auto code = std::find(kBaudRates.begin(), kBaudRates.end(), baudRate);
    if (code != kBaudRates.end())
        registers_[kBaudCodeRegister] = static_cast<std::uint16_t>(code - kBaudRates.begin());
}

WriteOutcome RegisterFile::write(int start, std::span<const std::uint16_t> values)
{
    const int end = start + static_cast<int>(values.size());
    if (start < 0 || values.empty() || end > kRegisterCount)
        return WriteOutcome::OutsideMap;

    // Judge the registers as they would be after the write, so that a single frequency word is
    // checked together with the word already stored beside it.
    auto after = registers_;
    for (int reg = start; reg < end; ++reg)
        after[reg] = values[reg - start];

    for (int reg = start; reg < end; ++reg) {
        if (after[reg] < kRegisters[reg].min || after[reg] > kRegisters[reg].max)
            return WriteOutcome::IllegalValue;
        if (isFrequency(reg)) {
            const int high = reg - (reg - kFirstFrequency) % 2;
            const std::uint32_t hz = (std::uint32_t { after[high] } << 16) | after[high + 1];
            if (hz < kMinFrequency || hz > kMaxFrequency)
                return WriteOutcome::IllegalValue;
        }
    }

    if (start == 0) {
        slaveAddress_ = after[0];
        after[0] = registers_[0]; // the supply voltage is measured, not written
    }
    registers_ = after;
    return WriteOutcome::Applied;
}

std::string RegisterFile::table() const
{
    std::string text;
    char line[128];
    std::snprintf(
        line, sizeof line, "registers of slave %d at %d baud:\n", slaveAddress_, baudRate());
    text += line;
    for (int reg = 0; reg < kRegisterCount; ++reg) {
        std::snprintf(line, sizeof line, "  0x%04X %6u  %s\n", reg, unsigned { registers_[reg] },
            kRegisters[reg].meaning);
        text += line;
    }
    return text;
}

} // namespace sim
