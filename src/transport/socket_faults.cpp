#include "socket_faults.h"

#include "transport/line_faults.h"

namespace line {

LineFault socketFault(QAbstractSocket::SocketError error, const QString& systemText, bool open,
    const QString& host, quint16 port)
{
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        return { Failure::Unreachable, QStringLiteral("host \"%1\" not found").arg(host) };
    case QAbstractSocket::ConnectionRefusedError:
        return { Failure::Unreachable,
            QStringLiteral("connection refused (nothing takes connections on port %1)").arg(port) };
    case QAbstractSocket::RemoteHostClosedError:
        return open ? LineFault { Failure::Lost,
            QStringLiteral("the connection dropped (the server closed it)") }
                    : LineFault { Failure::Refused,
                          QStringLiteral("the server closed the connection at once") };
    default:
        return open ? LineFault { Failure::Lost,
            QStringLiteral("the connection dropped (%1)").arg(lowerFirst(systemText)) }
                    : LineFault { Failure::Unreachable, lowerFirst(systemText) };
    }
}

} // namespace line
