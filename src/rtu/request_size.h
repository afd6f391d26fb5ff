#pragma once

#include <QByteArrayView>

#include <optional>

namespace line {

// A request frame's size as a module tells it from the bytes alone, CRC included: a stream
// that carries RTU frames with no silence between them (RTU over TCP) is cut by it.
struct RequestSize {
    enum Kind {
        Known, // bytes holds the frame's size
        Due, // too few bytes to tell yet
        Unknown, // a function whose size the bytes do not tell
    };
    Kind kind = Due;
    qsizetype bytes = 0;
};

// 8 for the reads and the single writes (0x01 to 0x06), 9 + n for the block writes (0x0F,
// 0x10) with their byte count n, 4 for the functions without data (0x07, 0x0B, 0x0C, 0x11),
// and the other public functions' sizes; Unknown for any other function.
RequestSize requestSize(QByteArrayView frame);

} // namespace line
