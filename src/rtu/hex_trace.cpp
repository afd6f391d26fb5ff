#include "hex_trace.h"

namespace line {

QString hexTrace(const QByteArray& bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    QString trace;
    trace.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        trace += QLatin1Char(kDigits[b >> 4]);
        trace += QLatin1Char(kDigits[b & 0x0F]);
        trace += QLatin1Char(' ');
    }
    return trace;
}

} // namespace line
