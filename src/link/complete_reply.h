#pragma once

#include <QByteArray>

#include <cstdint>

namespace line {

// How far the bytes in so far go towards the reply to a request, for a master that finishes as
// soon as the reply is whole instead of waiting a fixed time.
enum class ReplyState {
    Incomplete, // nothing wrong yet; more bytes are due
    Complete, // the whole reply: the request's address and function, the right size and CRC
    Exception, // a whole exception reply with a right CRC; its code is in exceptionCode
    WrongAddress,
    WrongFunction,
    WrongByteCount, // a read reply that announces another number of registers
    TooLong, // more bytes than the reply has
    BadCrc,
};

struct ReplyProgress {
    ReplyState state = ReplyState::Incomplete;
    qsizetype size = 0; // bytes of the complete reply
    std::uint8_t exceptionCode = 0;
};

// The size of the whole reply to a request (with or without its CRC): 5 + 2n bytes for a read
// of n registers, 8 for a write of one register or several; 0 for any other request.
qsizetype completeReplySize(const QByteArray& request);

// An exception reply is 5 bytes: address, function + 0x80, code, CRC. Every state but
// Incomplete is final: more bytes cannot mend it.
ReplyProgress replyProgress(const QByteArray& request, const QByteArray& received);

} // namespace line
