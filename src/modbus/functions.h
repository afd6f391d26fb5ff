#pragma once

#include <cstdint>

namespace modbus {

// The Modbus function codes the module answers.
enum FunctionCode : std::uint8_t {
    kReadHoldingRegisters = 0x03,
    kWriteSingleRegister = 0x06,
    kWriteMultipleRegisters = 0x10,
};

// An exception reply carries the request's function code with this bit set, then one code.
inline constexpr std::uint8_t kExceptionFlag = 0x80;

} // namespace modbus
