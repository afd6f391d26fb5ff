#include "local_ports.h"

#include <QByteArray>
#include <QFile>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>

quint16 freeLocalPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// /proc/net/tcp gives the local address and port in hex and the state LISTEN as 0A.
bool listensLocally(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray local = QByteArrayLiteral("0100007F:")
        + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[1] == local && fields[3] == "0A")
            return true;
    }
    return false;
}
