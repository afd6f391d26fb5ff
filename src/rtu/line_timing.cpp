#include "line_timing.h"

#include <algorithm>

namespace line {

namespace {

// A USB adapter hands bytes over in chunks, up to 16 ms apart.
constexpr milliseconds kUsbDeliveryGap { 16 };
// What a reply on its way gets beyond its own transfer time.
constexpr milliseconds kArrivalSlack { 20 };

} // namespace

nanoseconds characterTime(const PortSettings& settings)
{
    const int bits = 1 + settings.dataBits + (settings.parity == 'N' ? 0 : 1) + settings.stopBits;
    return nanoseconds(std::chrono::seconds(bits)) / std::max<qint32>(settings.baud, 1);
}

nanoseconds transferTime(const PortSettings& settings, qsizetype bytes)
{
    return characterTime(settings) * bytes;
}

nanoseconds interFrameGap(const PortSettings& settings)
{
    return std::max<nanoseconds>(characterTime(settings) * 7 / 2, kUsbDeliveryGap);
}

nanoseconds replyDeadline(const PortSettings& settings, const ReplyWait& wait)
{
    const nanoseconds left = wait.writtenAt + transferTime(settings, wait.requestBytes);
    nanoseconds deadline = left + wait.timeout;
    if (wait.firstByteAt)
        deadline = std::max(
            deadline, *wait.firstByteAt + transferTime(settings, wait.replyBytes) + kArrivalSlack);
    return deadline;
}

} // namespace line
