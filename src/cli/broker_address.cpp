#include "broker_address.h"

#include "device/parameter_value.h"
#include "ports/network_address.h"
#include "text/quoted_text.h"

#include <QLatin1StringView>

namespace cli {

namespace {

constexpr QLatin1StringView kPlain("mqtt://");
constexpr QLatin1StringView kTls("mqtts://");

Result<BrokerAddress> wrong(const QString& why)
{
    return Result<BrokerAddress>::failure(QStringLiteral("broker: %1").arg(why));
}

} // namespace

Result<BrokerAddress> brokerAddress(QStringView text)
{
    BrokerAddress broker;
    broker.tls = text.startsWith(kTls);
    if (!broker.tls && !text.startsWith(kPlain))
        return wrong(QStringLiteral("\"%1\" is not mqtt://[USER@]HOST[:PORT] or mqtts://...")
                         .arg(quoting::quotedValue(withoutLogin(text))));
    broker.port = broker.tls ? 8883 : 1883;
    QStringView rest = text.sliced(broker.tls ? kTls.size() : kPlain.size());
    if (rest.endsWith(u'/'))
        rest.chop(1);
    if (rest.contains(u'/'))
        return wrong(QStringLiteral("an address takes no path"));
    if (const qsizetype at = rest.lastIndexOf(u'@'); at >= 0) {
        const QStringView user = rest.first(at);
        if (user.contains(u':'))
            return wrong(QStringLiteral("no password in the address; give --password-file"));
        if (user.isEmpty())
            return wrong(QStringLiteral("no user before @"));
        broker.user = user.toString();
        rest = rest.sliced(at + 1);
    }
    QStringView host = rest;
    if (rest.startsWith(u'[')) {
        const qsizetype end = rest.indexOf(u']');
        if (end < 0)
            return wrong(QStringLiteral("an IPv6 host ends with ]"));
        host = rest.sliced(1, end - 1);
        rest = rest.sliced(end + 1);
        if (!rest.isEmpty() && !rest.startsWith(u':'))
            return wrong(QStringLiteral("only :PORT may follow the host"));
    } else if (const qsizetype colon = rest.indexOf(u':'); colon >= 0) {
        host = rest.first(colon);
        rest = rest.sliced(colon);
    } else {
        rest = {};
    }
    if (host.isEmpty())
        return wrong(QStringLiteral("no host"));
    if (rest.startsWith(u':')) {
        const auto port = line::portNumber(rest.sliced(1));
        if (!port)
            return wrong(QStringLiteral("port \"%1\" is not 1 to 65535")
                             .arg(quoting::quotedValue(rest.sliced(1))));
        broker.port = *port;
    }
    broker.host = host.toString();
    return broker;
}

QString withoutLogin(QStringView text)
{
    const qsizetype at = text.lastIndexOf(u'@');
    if (at < 0)
        return text.toString();
    const qsizetype scheme = text.indexOf(u"://");
    const qsizetype from = scheme >= 0 && scheme < at ? scheme + 3 : 0;
    return text.first(from).toString() + QStringLiteral("***") + text.sliced(at).toString();
}

QString brokerLabel(const BrokerAddress& broker)
{
    const QString host = quoting::escapedControls(broker.host);
    return QStringLiteral("%1://%2%3:%4")
        .arg(broker.tls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"),
            broker.user.isEmpty() ? QString() : quoting::escapedControls(broker.user) + u'@',
            broker.host.contains(u':') ? u'[' + host + u']' : host)
        .arg(broker.port);
}

} // namespace cli
