#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

// Modbus TCP's framing: a header (MBAP) of the transaction id, the protocol id 0, the length of
// what follows it and the unit id, then the request's function code and data (the PDU), with
// no CRC: TCP checks the bytes.
namespace modbus {

inline constexpr qsizetype kMbapHeaderSize = 7;
// The length field counts the unit id and the PDU; a PDU is at most 253 bytes, as on a line.
inline constexpr int kMaxMbapLength = 254;

enum class TcpFrameState {
    Incomplete, // nothing wrong yet; more bytes are due
    Complete,
    Broken, // a protocol id other than 0, or a length no PDU has: no later byte mends it
};

struct TcpFrame {
    TcpFrameState state = TcpFrameState::Incomplete;
    qsizetype size = 0; // bytes of the whole frame, header included, when complete
    std::uint16_t transactionId = 0;
    std::uint8_t unitId = 0;
    QByteArray pdu;
};

// The frame that begins the bytes.
TcpFrame tcpFrameAt(QByteArrayView bytes);

// The frame of an answer: the request's transaction and unit ids, then the PDU.
QByteArray tcpFrame(std::uint16_t transactionId, std::uint8_t unitId, QByteArrayView pdu);

// An exception's PDU: the request's function code with the exception flag, then the code.
QByteArray exceptionPdu(std::uint8_t function, std::uint8_t code);

} // namespace modbus
