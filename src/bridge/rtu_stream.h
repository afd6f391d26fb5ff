#pragma once

#include <QByteArray>

namespace bridge {

// Requests cut from the bytes a client sends to the RTU face. A TCP stream has no silences to
// end a frame, so a frame ends where its function says it does; a frame whose CRC is wrong is
// dropped as a module drops it, with whatever followed it in the buffer, since the next frame's
// start is no longer known (a line's receiver waits for the next silence the same way).
struct RtuCut {
    enum What {
        Due, // no whole frame yet
        Frame, // frame holds one request, CRC included
        Dropped, // a frame with a wrong CRC, or bytes no request can be, went
    } what
        = Due;
    QByteArray frame;
};

// The longest RTU frame: an address, a PDU of 253 bytes and the CRC.
inline constexpr qsizetype kMostRtuFrame = 256;

// Takes the first request out of buffer, or drops what cannot be one.
RtuCut cutRtuRequest(QByteArray& buffer);

} // namespace bridge
