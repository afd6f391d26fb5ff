#include "receive_buffer.h"

#include <algorithm>

namespace line {

void ReceiveBuffer::clear()
{
    bytes_.clear();
    total_ = 0;
}

void ReceiveBuffer::append(const QByteArray& bytes)
{
    total_ += bytes.size();
    const qsizetype room = kCapacity - bytes_.size();
    bytes_.append(bytes.first(std::clamp<qsizetype>(bytes.size(), 0, room)));
}

} // namespace line
