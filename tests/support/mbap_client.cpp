#include "mbap_client.h"

#include <QDeadlineTimer>
#include <QHostAddress>

QByteArray word(quint16 value)
{
    const char bytes[] = { static_cast<char>(value >> 8), static_cast<char>(value & 0xFF) };
    return QByteArray(bytes, 2);
}

quint16 wordAt(const QByteArray& bytes, qsizetype at)
{
    return static_cast<quint16>(
        (static_cast<quint8>(bytes[at]) << 8) | static_cast<quint8>(bytes[at + 1]));
}

QByteArray readPdu(quint16 first, quint16 count)
{
    return QByteArray(1, '\x03') + word(first) + word(count);
}

QByteArray writePdu(quint16 address, quint16 value)
{
    return QByteArray(1, '\x06') + word(address) + word(value);
}

QByteArray readAnswer(const QByteArray& registers)
{
    return QByteArray(1, '\x03') + QByteArray(1, static_cast<char>(registers.size())) + registers;
}

QByteArray mbap(quint16 id, quint8 unit, const QByteArray& pdu, quint16 protocol)
{
    return word(id) + word(protocol) + word(static_cast<quint16>(pdu.size() + 1))
        + QByteArray(1, static_cast<char>(unit)) + pdu;
}

MbapClient::MbapClient(quint16 port, int waitMs)
    : waitMs_(waitMs)
{
    socket_.connectToHost(QHostAddress::LocalHost, port);
}

bool MbapClient::connected()
{
    return socket_.waitForConnected(waitMs_);
}

bool MbapClient::send(const QByteArray& bytes)
{
    socket_.write(bytes);
    while (socket_.bytesToWrite() > 0)
        if (!socket_.waitForBytesWritten(waitMs_))
            return false;
    return true;
}

QList<MbapAnswer> MbapClient::answers(qsizetype n)
{
    const QDeadlineTimer deadline(waitMs_);
    for (;;) {
        take();
        if (answers_.size() >= n || deadline.hasExpired()
            || !socket_.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
    }
    take();
    const QList<MbapAnswer> first = answers_.mid(0, n);
    answers_.remove(0, first.size());
    return first;
}

bool MbapClient::closed(int timeoutMs)
{
    return socket_.state() == QAbstractSocket::UnconnectedState
        || socket_.waitForDisconnected(timeoutMs);
}

qint64 MbapClient::received()
{
    take();
    return received_;
}

// Whole answers off the front of what came: the header's length counts the unit and the PDU.
void MbapClient::take()
{
    const QByteArray more = socket_.readAll();
    received_ += more.size();
    unread_ += more;
    while (unread_.size() >= 7 && unread_.size() >= 6 + wordAt(unread_, 4)) {
        const int length = wordAt(unread_, 4);
        answers_.append(
            { wordAt(unread_, 0), static_cast<quint8>(unread_[6]), unread_.mid(7, length - 1) });
        unread_.remove(0, 6 + length);
    }
}
