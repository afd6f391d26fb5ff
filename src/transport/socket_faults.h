#pragma once

#include "rtu/failure.h"

#include <QAbstractSocket>
#include <QString>

namespace line {

// Why a connection to a device server failed or dropped; open says whether it was in use by
// then. host and port are the address's, for the words.
LineFault socketFault(QAbstractSocket::SocketError error, const QString& systemText, bool open,
    const QString& host, quint16 port);

} // namespace line
