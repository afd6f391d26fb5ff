#pragma once

#include <QHostAddress>
#include <QString>

#include <optional>

namespace bridge {

// Where a face listens: --modbus-tcp [HOST:]PORT, HOST an IP address (IPv6 in brackets),
// 127.0.0.1 when it is left out, so that a face serves this PC alone unless told otherwise.
struct FaceAddress {
    QHostAddress host;
    quint16 port = 0;
};

// The address, or nothing with why it is none (naming the option).
std::optional<FaceAddress> faceAddress(const QString& option, const QString& text, QString* why);

} // namespace bridge
