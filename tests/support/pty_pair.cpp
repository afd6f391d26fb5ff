#include "pty_pair.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    termios raw {};
    ::tcgetattr(slave_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave_, TCSANOW, &raw);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair()
{
    closeDevice();
}

bool PtyPair::linkAs(const QString& dir, int n) const
{
    const QString link = QDir(dir).filePath(QStringLiteral("COM%1").arg(n));
    QFile::remove(link);
    return QFile::link(slavePath_, link);
}

bool PtyPair::write(const QByteArray& bytes) const
{
    return master_ >= 0
        && ::write(master_, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

qint64 PtyPair::writeSome(const QByteArray& bytes) const
{
    const ssize_t n = master_ >= 0 ? ::write(master_, bytes.constData(), size_t(bytes.size())) : -1;
    return n > 0 ? n : 0;
}

QByteArray PtyPair::readAvailable() const
{
    QByteArray out;
    char buf[4096];
    ssize_t n = 0;
    while (master_ >= 0 && (n = ::read(master_, buf, sizeof buf)) > 0)
        out.append(buf, n);
    return out;
}

QByteArray PtyPair::read(qsizetype count, int timeoutMs) const
{
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (out.size() < count && clock.elapsed() < timeoutMs) {
        pollfd p { master_, POLLIN, 0 };
        if (::poll(&p, 1, 10) > 0)
            out += readAvailable();
    }
    return out;
}

termios PtyPair::lineSettings() const
{
    termios t {};
    ::tcgetattr(slave_, &t);
    return t;
}

void PtyPair::closeDevice()
{
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
}
