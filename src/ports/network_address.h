#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace line {

// A serial line that a device server gives a TCP port: "tcp:HOST:PORT" carries the line's
// bytes as they are, with the line settings fixed on the server; "rfc2217:HOST:PORT" speaks
// Telnet with the COM-PORT-OPTION, so the client sets the far line's rate and framing.
struct NetworkAddress {
    enum class Protocol { Raw, Rfc2217 };

    Protocol protocol = Protocol::Raw;
    QString host; // a name or an address; an IPv6 address without its brackets
    quint16 port = 0;

    friend bool operator==(const NetworkAddress&, const NetworkAddress&) = default;
};

// A TCP port as a person writes it: 1 to 65535 in plain digits, else nothing.
std::optional<quint16> portNumber(QStringView digits);

// Whether the text is meant as a network address: it starts with "tcp:" or "rfc2217:".
bool namesNetworkLine(QStringView text);

struct ParsedAddress {
    std::optional<NetworkAddress> address;
    QString error; // why the text is not an address, when it is not
};

// "tcp:cabinet-7:4001", "rfc2217:10.0.0.7:4001", "tcp:[::1]:4001"; the host may not be
// empty, the port is 1 to 65535 in plain digits.
ParsedAddress parseNetworkAddress(QStringView text);

} // namespace line
