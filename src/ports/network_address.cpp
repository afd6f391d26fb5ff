#include "network_address.h"

#include "text/quoted_text.h"

#include <QLatin1StringView>

namespace line {

namespace {

constexpr QLatin1StringView kRawPrefix("tcp:");
constexpr QLatin1StringView kRfc2217Prefix("rfc2217:");

} // namespace

std::optional<quint16> portNumber(QStringView digits)
{
    if (digits.isEmpty() || digits.size() > 5)
        return std::nullopt;
    int value = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value < 1 || value > 65535)
        return std::nullopt;
    return static_cast<quint16>(value);
}

bool namesNetworkLine(QStringView text)
{
    return text.startsWith(kRawPrefix) || text.startsWith(kRfc2217Prefix);
}

ParsedAddress parseNetworkAddress(QStringView text)
{
    const bool raw = text.startsWith(kRawPrefix);
    if (!raw && !text.startsWith(kRfc2217Prefix))
        return { std::nullopt, QStringLiteral("not tcp:HOST:PORT or rfc2217:HOST:PORT") };
    const QStringView rest = text.sliced(raw ? kRawPrefix.size() : kRfc2217Prefix.size());
    const qsizetype colon = rest.lastIndexOf(u':');
    if (colon < 0)
        return { std::nullopt, QStringLiteral("no :PORT after the host") };
    QStringView host = rest.first(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.sliced(1, host.size() - 2);
    else if (host.contains(u':') || host.contains(u'[') || host.contains(u']'))
        return { std::nullopt, QStringLiteral("an IPv6 host goes in brackets, [::1]") };
    if (host.isEmpty())
        return { std::nullopt, QStringLiteral("no host before :PORT") };
    if (host.contains(u' ') || host.contains(u'/'))
        return { std::nullopt,
            QStringLiteral("\"%1\" is not a host name").arg(quoting::quotedValue(host)) };
    const auto port = portNumber(rest.sliced(colon + 1));
    if (!port)
        return { std::nullopt,
            QStringLiteral("port \"%1\" is not 1 to 65535")
                .arg(quoting::quotedValue(rest.sliced(colon + 1))) };
    return { NetworkAddress {
                 raw ? NetworkAddress::Protocol::Raw : NetworkAddress::Protocol::Rfc2217,
                 host.toString(), *port },
        {} };
}

} // namespace line
