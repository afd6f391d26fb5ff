#include "master_line.h"

#include <QDeadlineTimer>
#include <QSignalSpy>

namespace {

// Long enough to see a stray byte behind a reply at 9600 baud (about 1 ms per byte).
constexpr int kTrailingWaitMs = 30;

} // namespace

MasterLine::MasterLine()
{
    QObject::connect(&port_, &QSerialPort::readyRead, [this] {
        received_ += port_.readAll();
        lastArrivalMs_ = clock_.elapsed();
        if (firstArrivalMs_ < 0)
            firstArrivalMs_ = lastArrivalMs_;
    });
}

bool MasterLine::open(const QString& path, int baudRate)
{
    // Settings before open(): a pseudo-terminal refuses some of them once open.
    port_.setPortName(path);
    port_.setBaudRate(baudRate);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    return port_.open(QIODevice::ReadWrite);
}

void MasterLine::send(const QByteArray& frame)
{
    received_.clear();
    firstArrivalMs_ = lastArrivalMs_ = -1;
    // Started before the write, so that arrival times are never less than the true delay.
    clock_.start();
    port_.write(frame);
    port_.flush();
}

QByteArray MasterLine::exchange(const QByteArray& request, int replySize, int timeoutMs)
{
    send(request);
    if (waitForBytes(replySize, timeoutMs))
        waitForBytes(replySize + 1, kTrailingWaitMs);
    return received_;
}

bool MasterLine::staysSilent(int ms)
{
    return !waitForBytes(1, ms);
}

bool MasterLine::waitForBytes(int count, int timeoutMs)
{
    // A spy wakes on each arrival (qWaitFor would look only every 10 ms), so the arrival times
    // stay close to the truth.
    const QDeadlineTimer deadline(timeoutMs);
    while (received_.size() < count) {
        if (deadline.hasExpired())
            return false;
        QSignalSpy arrived(&port_, &QSerialPort::readyRead);
        arrived.wait(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
    return true;
}
