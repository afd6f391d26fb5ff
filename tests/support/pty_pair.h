#pragma once

#include <QByteArray>
#include <QString>

#include <termios.h>

// A pseudo-terminal standing in for a serial device: the program under test opens the slave
// path (or a COMn link to it), the test plays the device on the master side.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool isValid() const { return master_ >= 0; }
    QString slavePath() const { return slavePath_; }
    // The device side's descriptor (non-blocking), for a poll over it and other lines at once.
    int deviceFd() const { return master_; }
    // Links the slave as COMn in dir, the way an operator pins a port number.
    bool linkAs(const QString& dir, int n) const;

    // Device side.
    bool write(const QByteArray& bytes) const;
    // Writes what the line takes now; the count written.
    qint64 writeSome(const QByteArray& bytes) const;
    QByteArray readAvailable() const;
    // Reads until count bytes arrived or timeoutMs passed.
    QByteArray read(qsizetype count, int timeoutMs) const;
    // The line settings the program set on the tty.
    termios lineSettings() const;
    // The device vanishes: the program's next read fails.
    void closeDevice();

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
};
