#pragma once

#include "device/register_map.h"
#include "modbus/functions.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>

// Request bytes without their CRC: the send path appends it.
namespace device {

using modbus::kReadHoldingRegisters;
using modbus::kWriteMultipleRegisters;
using modbus::kWriteSingleRegister;

// Slave 0 is the broadcast address; the address change is sent there.
inline constexpr std::uint8_t kBroadcastAddress = 0x00;

// Two ranges of slave addresses for two front ends. The window sends whatever address byte the
// operator picks, the broadcast address included: 0 to 255. The command line addresses one
// module and expects its answer, so it takes the Modbus unicast addresses only: 1 to 247, since
// 0 is the broadcast, which no module answers, and 248 to 255 are reserved.
inline constexpr int kMaxSentAddress = 255;
inline constexpr int kMinUnicastAddress = 1;
inline constexpr int kMaxUnicastAddress = 247;

// Reads count registers from first on.
QByteArray readRequest(std::uint8_t slave, std::uint16_t first, std::uint16_t count);

// Reads all 26 registers from 0x0000.
QByteArray readAllRequest(std::uint8_t slave);

// Writes registers from first on in one Write Multiple Registers request.
QByteArray writeRegistersRequest(
    std::uint8_t slave, std::uint16_t first, std::span<const std::uint16_t> registers);

// Writes registers 0x0001 to 0x0018 in one request of 55 bytes.
QByteArray writeAllRequest(std::uint8_t slave, const WrittenRegisters& registers);

// Writes one parameter: Write Single Register, or Write Multiple Registers for a value that
// spans two registers.
QByteArray writeRequest(std::uint8_t slave, const Parameter& p, Units units);

// Writes the new address into register 0x0000 of whatever module listens on the line.
QByteArray addressChangeRequest(std::uint8_t newAddress);

// The address typed into an address combo: decimal digits only (no blanks, no sign) whose value
// is 0 to kMaxSentAddress. Anything else, the empty text included, cannot be sent.
std::optional<std::uint8_t> slaveAddress(const QString& text);

// The code of a Combo6 text by exact comparison with kBaudRates; any other text keeps previous.
std::int16_t baudRateCode(const QString& combo6Text, std::int16_t previous);

} // namespace device
