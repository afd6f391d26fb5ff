#pragma once

#include <QByteArrayView>

#include <cstdint>
#include <optional>

// What the bridge makes of a request that a client sent through one of its TCP faces, before
// anything reaches the line: the rules are the same for Modbus TCP and RTU over TCP; only what
// a refusal sounds like differs (an exception, or the silence a real line would give).
namespace bridge {

struct FaceRules {
    bool readOnly = false; // --read-only: every write refused
};

// What the bridge knows of the unit a request names.
struct UnitState {
    bool served = false; // on the bridge's address list (never the broadcast address)
    // The module's baud-rate code as last read: a write may keep it, never change it.
    std::optional<std::uint16_t> baudCode;
};

enum class FaceVerdict {
    Read, // a read of the module's registers: to the line, or from what the bridge holds
    Write, // a write the module may take: to the line
    NoSuchUnit, // not on the line the bridge serves: exception 0x0A, or silence
    Refused, // answered at once with the exception code, nothing sent
};

struct FaceDecision {
    FaceVerdict verdict = FaceVerdict::Refused;
    std::uint8_t exceptionCode = 0; // for Refused
    // A write that would move the module off the line the bridge holds: the face says so on
    // standard error, once per request.
    bool movesModule = false;
};

// The decision on a request PDU (function code and data) for the unit.
FaceDecision decideFaceRequest(QByteArrayView pdu, const UnitState& unit, const FaceRules& rules);

} // namespace bridge
