#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QString>

// The master's end of the simulator's line: a QSerialPort on the COM link that collects what
// arrives, with the time of the first and last arrival after the last request.
class MasterLine {
public:
    MasterLine();

    bool open(const QString& path, int baudRate);
    bool setBaudRate(int baudRate) { return port_.setBaudRate(baudRate); }

    // Forgets what arrived before, then writes the frame and starts the clock.
    void send(const QByteArray& frame);
    // Sends the request and waits for a reply of the given size; returns what arrived, with any
    // extra bytes that follow within a short while.
    QByteArray exchange(const QByteArray& request, int replySize, int timeoutMs = 3000);
    // True when nothing arrives within the time.
    bool staysSilent(int ms);
    bool waitForBytes(int count, int timeoutMs);

    const QByteArray& received() const { return received_; }
    qint64 firstArrivalMs() const { return firstArrivalMs_; }
    qint64 lastArrivalMs() const { return lastArrivalMs_; }

private:
    QSerialPort port_;
    QByteArray received_;
    QElapsedTimer clock_;
    qint64 firstArrivalMs_ = -1;
    qint64 lastArrivalMs_ = -1;
};
