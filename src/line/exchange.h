#pragma once

#include "rtu/receive_buffer.h"
#include "rtu/reply.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

namespace line {

class Line;

// One request at a time: the send path, the bytes that come back, and the single judgement
// of them when the reply timer fires.
class Exchange : public QObject {
    Q_OBJECT

public:
    // The reply is judged this long after the blocking wait that follows each write.
    static constexpr int kReplyTimeoutMs = 160;
    static constexpr unsigned long kSendWaitMs = 100;

    explicit Exchange(QObject* parent = nullptr);

    // The line the requests go to, from its open on; none while the port is closed.
    void attach(Line* line);

    // Every command's first step: forget the last request, whatever arrived since, and the
    // judgement still due for it, so a command that then sends nothing gets no verdict.
    void prepare();

    // Frames the request with its CRC, announces the frame, writes it, blocks the calling
    // thread for the send wait (no events run meanwhile) and arms the reply timer. A second
    // send while the timer is armed restarts its interval. False when the write failed or no
    // line is attached; the timer is then left alone.
    bool send(const QByteArray& request);

    QString sendTrace() const;
    QString receiveTrace() const;
    const QByteArray& received() const { return received_.bytes(); }
    qsizetype receivedTotal() const { return received_.total(); }
    QTimer& replyTimer() { return timer1_; }

signals:
    // Before the write, so the operator sees the frame even when the write fails.
    void framed(const QString& sendTrace);
    // Failure::None when the reply is accepted.
    void judged(line::Failure failure, const QByteArray& reply);

private:
    void onReadyRead();
    void onTick();

    QPointer<Line> line_;
    QByteArray sentFrame_;
    ReceiveBuffer received_;
    QTimer timer1_;
};

} // namespace line
