#include "reply_check.h"

#include "modbus/crc16.h"

#include <algorithm>
#include <array>

namespace line {

bool isAcceptedLength(qsizetype replyBytes)
{
    static constexpr std::array<qsizetype, 9> kAccepted { 57, 33, 31, 21, 19, 17, 15, 8, 7 };
    return std::ranges::find(kAccepted, replyBytes) != kAccepted.end();
}

Verdict judgeReply(const QByteArray& sentFrame, const QByteArray& received, qsizetype receivedTotal)
{
    if (receivedTotal != received.size() || !isAcceptedLength(received.size()))
        return Verdict::WrongLength;
    // Address and function code of request and reply must agree.
    if (sentFrame.size() < 2 || !received.startsWith(sentFrame.first(2)))
        return Verdict::WrongHeader;
    if (!modbus::crcMatches(received))
        return Verdict::BadCrc;
    return Verdict::Accepted;
}

} // namespace line
