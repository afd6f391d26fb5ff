#include "tcp_frame.h"

#include "modbus/functions.h"
#include "modbus/words.h"

namespace modbus {

namespace {

void appendWord(QByteArray& bytes, std::uint16_t word)
{
    bytes.append(static_cast<char>(word >> 8));
    bytes.append(static_cast<char>(word & 0xFF));
}

} // namespace

TcpFrame tcpFrameAt(QByteArrayView bytes)
{
    TcpFrame frame;
    if (bytes.size() < kMbapHeaderSize)
        return frame;
    // The length counts the unit id and at least a function code.
    const int length = wordAt(bytes, 4);
    if (wordAt(bytes, 2) != 0 || length < 2 || length > kMaxMbapLength) {
        frame.state = TcpFrameState::Broken;
        return frame;
    }
    const qsizetype size = kMbapHeaderSize - 1 + length;
    if (bytes.size() < size)
        return frame;
    frame.state = TcpFrameState::Complete;
    frame.size = size;
    frame.transactionId = wordAt(bytes, 0);
    frame.unitId = static_cast<std::uint8_t>(bytes[6]);
    frame.pdu = bytes.sliced(kMbapHeaderSize, size - kMbapHeaderSize).toByteArray();
    return frame;
}

QByteArray tcpFrame(std::uint16_t transactionId, std::uint8_t unitId, QByteArrayView pdu)
{
    QByteArray bytes;
    bytes.reserve(kMbapHeaderSize + pdu.size());
    appendWord(bytes, transactionId);
    appendWord(bytes, 0);
    appendWord(bytes, static_cast<std::uint16_t>(pdu.size() + 1));
    bytes.append(static_cast<char>(unitId));
    bytes.append(pdu.data(), pdu.size());
    return bytes;
}

QByteArray exceptionPdu(std::uint8_t function, std::uint8_t code)
{
    QByteArray pdu;
    pdu.append(static_cast<char>(function | kExceptionFlag));
    pdu.append(static_cast<char>(code));
    return pdu;
}

} // namespace modbus
