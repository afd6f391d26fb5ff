#include "face_request.h"

#include "device/parameters.h"
#include "device/register_map.h"
#include "modbus/exception_codes.h"
#include "modbus/functions.h"
#include "modbus/words.h"

namespace bridge {

namespace {

// Register 0x0018 holds the module's baud-rate code.
constexpr std::uint16_t kBaudRegister = device::parameter(device::ParameterId::BaudRate).address;

// The Modbus limits of one request: 125 registers read, 123 written.
constexpr int kMostRead = 125;
constexpr int kMostWritten = 123;

FaceDecision refused(std::uint8_t code, bool movesModule = false)
{
    return { FaceVerdict::Refused, code, movesModule };
}

// Whether writing value to register keeps the module where the bridge reaches it: its address
// never changes, and its rate only to the rate it has.
bool keepsModule(std::uint16_t reg, std::uint16_t value, const UnitState& unit)
{
    if (reg == device::kSlaveAddressRegister)
        return false;
    if (reg == kBaudRegister)
        return unit.baudCode && *unit.baudCode == value;
    return true;
}

FaceDecision writeDecision(QByteArrayView pdu, const UnitState& unit, const FaceRules& rules)
{
    const auto function = static_cast<std::uint8_t>(pdu[0]);
    std::uint16_t first = 0;
    int count = 1;
    qsizetype valuesAt = 3;
    if (function == modbus::kWriteSingleRegister) {
        if (pdu.size() != 5)
            return refused(modbus::kIllegalDataValue);
        first = modbus::wordAt(pdu, 1);
    } else {
        if (pdu.size() < 6)
            return refused(modbus::kIllegalDataValue);
        first = modbus::wordAt(pdu, 1);
        count = modbus::wordAt(pdu, 3);
        const int bytes = static_cast<std::uint8_t>(pdu[5]);
        if (count < 1 || count > kMostWritten || bytes != 2 * count || pdu.size() != 6 + bytes)
            return refused(modbus::kIllegalDataValue);
        valuesAt = 6;
    }
    if (rules.readOnly)
        return refused(modbus::kIllegalFunction);
    for (int i = 0; i < count; ++i) {
        const auto reg = static_cast<std::uint16_t>(first + i);
        if (!keepsModule(reg, modbus::wordAt(pdu, valuesAt + 2 * i), unit))
            return refused(modbus::kIllegalDataValue, true);
    }
    return { FaceVerdict::Write };
}

} // namespace

FaceDecision decideFaceRequest(QByteArrayView pdu, const UnitState& unit, const FaceRules& rules)
{
    if (!unit.served)
        return { FaceVerdict::NoSuchUnit };
    if (pdu.isEmpty())
        return refused(modbus::kIllegalFunction);
    switch (static_cast<std::uint8_t>(pdu[0])) {
    case modbus::kReadHoldingRegisters: {
        if (pdu.size() != 5)
            return refused(modbus::kIllegalDataValue);
        const int count = modbus::wordAt(pdu, 3);
        if (count < 1 || count > kMostRead)
            return refused(modbus::kIllegalDataValue);
        return { FaceVerdict::Read };
    }
    case modbus::kWriteSingleRegister:
    case modbus::kWriteMultipleRegisters:
        return writeDecision(pdu, unit, rules);
    default:
        return refused(modbus::kIllegalFunction);
    }
}

} // namespace bridge
