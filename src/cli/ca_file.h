#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace cli {

// Whether the text holds a PEM certificate, as OpenSSL reads a CA file.
bool holdsPemCertificate(QByteArrayView text);

// What is wrong with --ca-file for a TLS connection, or nullopt when it is a readable file with
// a PEM certificate. Checked before any attempt: libmosquitto finds out too late, with the
// connection made.
std::optional<QString> caFileFault(const QString& path);

} // namespace cli
