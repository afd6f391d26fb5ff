#pragma once

#include "device/parameters.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// The module's 26 holding registers, 0x0000 to 0x0019, and how parameter values sit in them.
// All values travel high byte first.
namespace device {

inline constexpr std::size_t kRegisterCount = 26;

// Written (to the broadcast address only), register 0x0000 takes the module's new address.
inline constexpr std::uint16_t kSlaveAddressRegister = 0x0000;

// Write-all covers 0x0001 to 0x0018: 0x0000 would change the slave address, 0x0019 is unused.
inline constexpr std::uint16_t kFirstWrittenRegister = 0x0001;
inline constexpr std::size_t kWrittenRegisterCount = 24;
using WrittenRegisters = std::array<std::uint16_t, kWrittenRegisterCount>;

// A parameter's value in register units: tenths of a volt, hertz, 0 or 1, a baud-rate code.
using Units = std::uint32_t;
// One value per parameter, indexed by ParameterId.
using ParameterValues = std::array<Units, kParameterCount>;

// The value held by a parameter's registers, given from its first register on: a 32-bit value
// has its high word in the lower register.
Units unitsOf(const Parameter& p, std::span<const std::uint16_t> words);

// The registers that hold a value, high word first; registerCount of them.
std::array<std::uint16_t, 2> wordsOf(const Parameter& p, Units units);

// The block write-all sends: every parameter inside 0x0001 to 0x0018, at its registers.
WrittenRegisters writtenRegisters(const ParameterValues& values);

} // namespace device
