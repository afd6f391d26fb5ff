#pragma once

#include <QByteArray>
#include <QList>
#include <QTcpSocket>

// Modbus TCP as a test speaks it, byte by byte and independent of src/: requests of its own
// making, and a client that sends them as they are, however wrong, and cuts the answers.

// Two bytes, high first.
QByteArray word(quint16 value);
quint16 wordAt(const QByteArray& bytes, qsizetype at);

QByteArray readPdu(quint16 first, quint16 count); // function 0x03
QByteArray writePdu(quint16 address, quint16 value); // function 0x06
// A read's answer: function, byte count, the registers high byte first.
QByteArray readAnswer(const QByteArray& registers);

// A Modbus TCP frame: transaction id, protocol id, the length of what follows, unit, PDU.
QByteArray mbap(quint16 id, quint8 unit, const QByteArray& pdu, quint16 protocol = 0);

// One Modbus TCP answer as it came.
struct MbapAnswer {
    quint16 id = 0;
    quint8 unit = 0;
    QByteArray pdu;
};

// A client on 127.0.0.1:port. Every wait is bounded by the time given at construction.
class MbapClient {
public:
    explicit MbapClient(quint16 port, int waitMs = 30000);

    bool connected();
    QTcpSocket& socket() { return socket_; }
    // Whether every byte has gone to the kernel.
    bool send(const QByteArray& bytes);
    // The next n answers in the order they came; fewer when the connection closes or the
    // time passes first.
    QList<MbapAnswer> answers(qsizetype n);
    // Whether the server closed the connection within the time.
    bool closed(int timeoutMs);
    // Every byte the server has sent so far.
    qint64 received();

private:
    void take();

    int waitMs_;
    QTcpSocket socket_;
    QByteArray unread_;
    QList<MbapAnswer> answers_;
    qint64 received_ = 0;
};
