#include "face_answer.h"

#include "modbus/exception_codes.h"
#include "modbus/tcp_frame.h"

namespace bridge {

namespace {

bool isModulesAnswer(line::Failure failure)
{
    return failure == line::Failure::None || failure == line::Failure::Exception;
}

} // namespace

QByteArray tcpAnswer(std::uint8_t function, line::Failure failure, QByteArrayView reply)
{
    // Address, the PDU, two bytes of CRC.
    if (isModulesAnswer(failure) && reply.size() > 3)
        return reply.sliced(1, reply.size() - 3).toByteArray();
    if (failure == line::Failure::NoReply || failure == line::Failure::Interrupted)
        return modbus::exceptionPdu(function, modbus::kGatewayTargetFailedToRespond);
    if (line::isLineFailure(failure))
        return modbus::exceptionPdu(function, modbus::kGatewayPathUnavailable);
    return modbus::exceptionPdu(function, modbus::kServerDeviceFailure);
}

QByteArray rtuAnswer(line::Failure failure, QByteArrayView reply)
{
    return isModulesAnswer(failure) ? reply.toByteArray() : QByteArray();
}

} // namespace bridge
