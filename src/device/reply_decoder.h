#pragma once

#include "device/parameter_set.h"
#include "device/register_map.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

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

// Reads an accepted reply. Only a read reply (function 0x03 with a byte count that matches its
// length, 1 to 26 registers from 0x0000) carries anything; for any other reply parameters is
// current. Values that overflow the signed fields keep their bit pattern there, so an output
// above 32767 counts as off, while values holds them unsigned.
Reading decodedReply(const QByteArray& reply, const ParameterSet& current);

// The first register a whole read reply carries, as a one-register read returns it.
std::uint16_t firstRegister(const QByteArray& reply);

} // namespace device
