#pragma once

#include "device/parameter_set.h"
#include "device/register_map.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace device {

// What one reply says about the module.
struct Reading {
    // The reply carried registers 0x0000 to carried - 1; none for anything but a read.
    std::size_t carried = 0;
    // Each parameter's value in register units, where the reply carried all its registers.
    ParameterValues values {};
    // The kept values after the reading: frequencies, outputs and key lock as the module
    // reports them. The channel number and the baud-rate code stay: they belong to the fields.
    ParameterSet parameters;

    bool carries(ParameterId id) const
    {
        const Parameter& p = parameter(id);
        return p.address + p.registerCount <= carried;
    }
};

// Reads the register bytes of a read reply from 0x0000, as the reply parser hands them out (two
// bytes a register, high byte first): 1 to 26 registers carry values, none (the view of any
// other reply) or more than the module has carry nothing, and parameters is then current.
// Values that overflow the signed fields keep their bit pattern there, so an output above 32767
// counts as off, while values holds them unsigned.
Reading decodedRegisters(std::span<const std::uint8_t> registerBytes, const ParameterSet& current);

// The first register of a read that carried at least one, as a one-register read returns it.
std::uint16_t firstRegister(std::span<const std::uint8_t> registerBytes);

} // namespace device
