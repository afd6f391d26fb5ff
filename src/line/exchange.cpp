#include "exchange.h"

#include "modbus/crc16.h"
#include "rtu/hex_trace.h"
#include "transport/line.h"

#include <QThread>

namespace line {

Exchange::Exchange(QObject* parent)
    : QObject(parent)
    , timer1_(this)
{
    timer1_.setObjectName(QStringLiteral("Timer1"));
    timer1_.setSingleShot(true);
    // A coarse timer may fire up to 5 % early or late; the reply window is 160 ms exactly.
    timer1_.setTimerType(Qt::PreciseTimer);
    timer1_.setInterval(kReplyTimeoutMs);
    connect(&timer1_, &QTimer::timeout, this, &Exchange::onTick);
}

void Exchange::attach(Line* line)
{
    if (line_)
        disconnect(line_, nullptr, this, nullptr);
    line_ = line;
    if (line_)
        connect(line_, &Line::readyRead, this, &Exchange::onReadyRead);
}

void Exchange::prepare()
{
    timer1_.stop();
    sentFrame_.clear();
    received_.clear();
}

bool Exchange::send(const QByteArray& request)
{
    sentFrame_ = modbus::framed(request);
    emit framed(sendTrace());
    if (!line_ || !line_->isOpen() || !line_->write(sentFrame_))
        return false;
    QThread::msleep(kSendWaitMs);
    timer1_.start();
    return true;
}

QString Exchange::sendTrace() const
{
    return hexTrace(sentFrame_);
}

QString Exchange::receiveTrace() const
{
    return hexTrace(received_.bytes());
}

void Exchange::onReadyRead()
{
    if (line_)
        received_.append(line_->readAll());
}

void Exchange::onTick()
{
    timer1_.stop();
    emit judged(judgeReply(sentFrame_, received_.bytes(), received_.total()), received_.bytes());
}

} // namespace line
