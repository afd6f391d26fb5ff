#include "face_address.h"

#include "ports/network_address.h"
#include "text/quoted_text.h"

namespace bridge {

std::optional<FaceAddress> faceAddress(const QString& option, const QString& text, QString* why)
{
    const qsizetype colon = text.lastIndexOf(u':');
    QString host = colon < 0 ? QStringLiteral("127.0.0.1") : text.first(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.sliced(1, host.size() - 2);
    const auto port
        = line::portNumber(colon < 0 ? QStringView(text) : QStringView(text).sliced(colon + 1));
    const QHostAddress address(host);
    if (port && !address.isNull())
        return FaceAddress { address, *port };
    if (why)
        *why = QStringLiteral("%1: \"%2\" is no [HOST:]PORT (an IP address, a port 1 to 65535)")
                   .arg(option, quoting::quotedValue(text));
    return std::nullopt;
}

} // namespace bridge
