#pragma once

#include <QByteArray>

namespace line {

// The reply sizes a master accepts: reads of 26, 14, 13, 8, 7, 6, 5 and 1 registers,
// and the 8-byte answer to a register write.
bool isAcceptedLength(qsizetype replyBytes);

enum class Verdict {
    Accepted,
    WrongLength, // nothing, a partial reply, extra bytes, an exception reply
    WrongHeader, // another slave address or function code than the request's
    BadCrc, // the right size and header, but the bytes were corrupted on the line
};

// Judges everything that arrived between a request and the reply tick, once.
// receivedTotal counts every byte that arrived, also those a bounded buffer dropped.
Verdict judgeReply(
    const QByteArray& sentFrame, const QByteArray& received, qsizetype receivedTotal);

} // namespace line
