#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace sim {

inline constexpr int kRegisterCount = 26;
inline constexpr int kBaudCodeRegister = 0x0018;

// Baud-rate codes 0 to 5 as register 0x0018 holds them.
inline constexpr std::array<int, 6> kBaudRates { 4800, 9600, 19200, 38400, 57600, 115200 };

enum class WriteOutcome {
    Applied,
    IllegalValue, // some value lies outside its register's range; nothing was written
    OutsideMap, // the registers do not all exist; nothing was written
};

// The module's 26 holding registers. Register 0x0000 has two faces: a read gives the supply
// voltage, a write sets the slave address.
class RegisterFile {
public:
    // `baudRate` is one of kBaudRates; register 0x0018 starts with its code.
    RegisterFile(std::uint16_t supplyCentivolts, int slaveAddress, int baudRate);

    // The registers as a read returns them.
    const std::array<std::uint16_t, kRegisterCount>& readable() const { return registers_; }
    int slaveAddress() const { return slaveAddress_; }
    int baudRate() const { return kBaudRates[registers_[kBaudCodeRegister]]; }

    // All values are checked before any is stored, as a module refuses a write as a whole.
    WriteOutcome write(int start, std::span<const std::uint16_t> values);

    std::string table() const;

private:
    std::array<std::uint16_t, kRegisterCount> registers_ {};
    int slaveAddress_;
};

} // namespace sim
