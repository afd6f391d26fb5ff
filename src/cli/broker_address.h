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

// The text of an address, safe to quote whatever was typed: what stands between :// and the
// last @ is written as ***, and without :// what stands before the last @, for a password may
// stand there in any mistyped form (MQTT://u:p@host, mqtt//u:p@host).
QString withoutLogin(QStringView text);

// The broker as the bridge's lines name it, mqtt://USER@HOST:PORT, its user and host with their
// control characters escaped: a name must not send control sequences to the terminal, nor
// forge a line of the journal.
QString brokerLabel(const BrokerAddress& broker);

} // namespace cli
