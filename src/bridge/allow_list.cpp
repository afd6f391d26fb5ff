#include "allow_list.h"

#include "text/quoted_text.h"

#include <QStringList>

namespace bridge {

AllowList::AllowList()
    : subnets_ { { QHostAddress(QHostAddress::LocalHost), 8 },
        { QHostAddress(QHostAddress::LocalHostIPv6), 128 } }
{
}

std::optional<AllowList> AllowList::parsed(const QString& text, QString* why)
{
    AllowList list;
    list.subnets_.clear();
    for (const QString& item : text.split(u',')) {
        // A bare address is a subnet of itself.
        QString cidr = item.trimmed();
        if (!cidr.isEmpty() && !cidr.contains(u'/'))
            cidr += QHostAddress(cidr).protocol() == QAbstractSocket::IPv6Protocol
                ? QStringLiteral("/128")
                : QStringLiteral("/32");
        const QPair<QHostAddress, int> subnet = QHostAddress::parseSubnet(cidr);
        if (subnet.first.isNull()) {
            if (why)
                *why = QStringLiteral("--allow: \"%1\" is no address or CIDR block")
                           .arg(quoting::quotedValue(item));
            return std::nullopt;
        }
        list.subnets_ << subnet;
    }
    return list;
}

bool AllowList::allows(const QHostAddress& client) const
{
    // A client on IPv4 reached through a dual-stack socket comes as ::ffff:a.b.c.d.
    bool isV4 = false;
    const quint32 v4 = client.toIPv4Address(&isV4);
    const QHostAddress address = isV4 ? QHostAddress(v4) : client;
    for (const auto& subnet : subnets_)
        if (address.isInSubnet(subnet))
            return true;
    return false;
}

bool RefusalNotes::shouldSay(const QHostAddress& client, Instant now)
{
    const QString key = client.toString();
    const auto found = lastSaid_.find(key);
    if (found != lastSaid_.end() && now - found->second < kQuiet)
        return false;
    lastSaid_[key] = now;
    return true;
}

} // namespace bridge
