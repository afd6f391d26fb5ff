#pragma once

#include <cstdint>

// The Modbus function codes the module answers.
namespace modbus {

inline constexpr std::uint8_t kReadHoldingRegisters = 0x03;
inline constexpr std::uint8_t kWriteSingleRegister = 0x06;
inline constexpr std::uint8_t kWriteMultipleRegisters = 0x10;

// An exception reply carries the request's function code with this bit set, then one code.
inline constexpr std::uint8_t kExceptionFlag = 0x80;

} // namespace modbus
