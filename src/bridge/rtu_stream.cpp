#include "rtu_stream.h"

#include "modbus/crc16.h"
#include "rtu/request_size.h"

namespace bridge {

RtuCut cutRtuRequest(QByteArray& buffer)
{
    const line::RequestSize size = line::requestSize(buffer);
    qsizetype frameSize = 0;
    if (size.kind == line::RequestSize::Known) {
        if (size.bytes > kMostRtuFrame) {
            buffer.clear();
            return { RtuCut::Dropped, {} };
        }
        if (buffer.size() < size.bytes)
            return {};
        frameSize = size.bytes;
    } else if (size.kind == line::RequestSize::Unknown) {
        // A function of no known size: the frame is what has come, once its CRC holds.
        if (buffer.size() >= 4 && modbus::crcMatches(buffer))
            frameSize = buffer.size();
        else if (buffer.size() < kMostRtuFrame)
            return {};
    } else {
        return {};
    }
    if (frameSize == 0 || !modbus::crcMatches(buffer.first(frameSize))) {
        buffer.clear();
        return { RtuCut::Dropped, {} };
    }
    RtuCut cut { RtuCut::Frame, buffer.first(frameSize) };
    buffer.remove(0, frameSize);
    return cut;
}

} // namespace bridge
