#pragma once

#include "rtu/failure.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

// What a face sends back for a request that went to the line, from what the line gave.
namespace bridge {

// The Modbus TCP face: the module's answer as it came (its data, its echo, its exception),
// without its address and CRC; else the gateway's exception for the line's failure: 0x0B when
// the module did not answer, 0x04 for a reply that cannot be used (a bad CRC, another address,
// a wrong length), 0x0A when the line itself is gone.
QByteArray tcpAnswer(std::uint8_t function, line::Failure failure, QByteArrayView reply);

// The RTU face: what a real line would give the client: the module's frame, CRC and all, or
// silence (nothing) where the line failed.
QByteArray rtuAnswer(line::Failure failure, QByteArrayView reply);

} // namespace bridge
