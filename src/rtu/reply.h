#pragma once

#include "rtu/failure.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <span>

// How a reply is read: one parser, and the two rules the front ends build on it.
namespace line {

// How far the bytes in so far go towards the reply to a request. Every state but Incomplete
// is final: more bytes cannot mend it.
enum class ReplyState {
    Incomplete, // nothing wrong yet; more bytes are due
    Complete, // the whole reply: the request's address and function, the right size and CRC
    Exception, // a whole exception reply with a right CRC; its code is in exceptionCode
    WrongAddress,
    WrongFunction,
    WrongByteCount, // a read reply that announces another number of registers
    TooLong, // more bytes than the reply has
    BadCrc,
    WrongEcho, // a whole, sound answer to a write that names another register, value or count
};

struct ReplyProgress {
    ReplyState state = ReplyState::Incomplete;
    qsizetype size = 0; // bytes of the complete reply
    std::uint8_t exceptionCode = 0;
};

// What a judged reply holds, as every reader of its bytes takes it: nobody else indexes into a
// reply. The view points into the bytes it was made from, which must outlive it.
struct ReplyView {
    Failure failure = Failure::None;
    std::uint8_t exceptionCode = 0; // an exception reply's code; 0 for every other reply
    // The registers of a sound read reply, two bytes each, high byte first; empty for every
    // other reply, and for a read whose byte count is odd or not its length.
    std::span<const std::uint8_t> registerBytes;
    // The byte count a read reply announces, right or wrong, once its third byte is in: a late
    // reply to another read tells itself by it. Only for a reply judged sound or of the wrong
    // length (the address and function were right); 0 for every other.
    std::uint8_t announcedBytes = 0;
};

// The view of what arrived, as a rule judged it (failure): register bytes only for a reply
// judged sound, an exception code only for an exception reply. It trusts the judgement and
// reads nothing a rule has not checked: a read's register bytes come out only when its byte
// count matches its length, which the window's lenient rule never looks at.
ReplyView replyView(Failure failure, const QByteArray& received);

// The size of the whole reply to a request (with or without its CRC): 5 + 2n bytes for a read
// of n registers, 8 for a write of one register or several; 0 for any other request.
qsizetype completeReplySize(const QByteArray& request);

// The command line's rule: a master that finishes as soon as the reply is whole or can no
// longer be. It checks, in this order, the address, an exception reply (5 bytes: address,
// function + 0x80, code, CRC), the function, a read's byte count, the size, the CRC and a
// write's echo of its request.
ReplyProgress replyProgress(const QByteArray& request, const QByteArray& received);

// The reply sizes the window accepts: reads of 26, 14, 13, 8, 7, 6, 5 and 1 registers, and
// the 8-byte answer to a register write.
bool isAcceptedLength(qsizetype replyBytes);

// The window's rule, judged once when its reply timer fires, on the same parser. It differs
// from the command line's where the window has always been lenient: it knows no request's
// reply size, so any accepted length will do, and it looks at neither a read's byte count nor
// a write's echo. receivedTotal counts every byte that arrived, also those a bounded buffer
// dropped. Failure::None when the reply is accepted.
Failure judgeReply(
    const QByteArray& sentFrame, const QByteArray& received, qsizetype receivedTotal);

// What a reply's progress comes to once the master has stopped waiting for it.
Failure failureOf(const ReplyProgress& progress, qsizetype receivedBytes);

// The message of a failure of the reply itself: "no reply within 200 ms", "reply too short",
// "exception 03 (illegal data value)", "reply from slave 2".
QString replyFailureText(
    Failure failure, const ReplyProgress& progress, const QByteArray& received, int timeoutMs);

} // namespace line
