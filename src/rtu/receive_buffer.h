#pragma once

#include <QByteArray>

namespace line {

// The bytes that arrived since the last request. A device that streams between requests
// cannot grow it without bound: past the cap only the count goes on, and a reply that long
// is refused anyway.
class ReceiveBuffer {
public:
    static constexpr qsizetype kCapacity = 4096;

    void clear();
    void append(const QByteArray& bytes);

    const QByteArray& bytes() const { return bytes_; }
    qsizetype total() const { return total_; }

private:
    QByteArray bytes_;
    qsizetype total_ = 0;
};

} // namespace line
