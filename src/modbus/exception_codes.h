#pragma once

#include <cstdint>

namespace modbus {

// The exception codes a server answers with, the two gateway ones included: a gateway says
// with them that the unit it was asked for is not on its line (0x0A) or did not answer (0x0B).
enum ExceptionCode : std::uint8_t {
    kIllegalFunction = 0x01,
    kIllegalDataAddress = 0x02,
    kIllegalDataValue = 0x03,
    kServerDeviceFailure = 0x04,
    kGatewayPathUnavailable = 0x0A,
    kGatewayTargetFailedToRespond = 0x0B,
};

} // namespace modbus
