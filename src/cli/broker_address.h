#pragma once

#include "result.h"

#include <QString>
#include <QStringView>

namespace cli {

// Where the bridge's broker is: mqtt://[USER@]HOST[:PORT] (1883) or mqtts://... (8883, TLS).
struct BrokerAddress {
    bool tls = false;
    QString user; // empty: no login
    QString host; // a name or an address; an IPv6 address without its brackets
    quint16 port = 1883;

    friend bool operator==(const BrokerAddress&, const BrokerAddress&) = default;
};

// The address, or what is wrong with the text. A password in it is refused: it would stand in
// the process list and the shell's history; it comes from --password-file.
Result<BrokerAddress> brokerAddress(QStringView text);

} // namespace cli
