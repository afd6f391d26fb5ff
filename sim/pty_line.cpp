#include "pty_line.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace sim {

namespace {

constexpr std::array<std::pair<speed_t, int>, 12> kSpeeds { {
    { B1200, 1200 },
    { B2400, 2400 },
    { B4800, 4800 },
    { B9600, 9600 },
    { B19200, 19200 },
    { B38400, 38400 },
    { B57600, 57600 },
    { B115200, 115200 },
    { B230400, 230400 },
    { B460800, 460800 },
    { B921600, 921600 },
    { B0, 0 },
} };

speed_t speedCode(int rate)
{
    for (const auto& [code, bps] : kSpeeds)
        if (bps == rate)
            return code;
    return B9600;
}

int speedRate(speed_t code)
{
    for (const auto& [c, bps] : kSpeeds)
        if (c == code)
            return bps;
    return 0;
}

int dataBits(tcflag_t cflag)
{
    switch (cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

std::string linkTarget(const std::string& link)
{
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    return n < 0 ? std::string() : std::string(target, static_cast<std::size_t>(n));
}

// A link left behind by a simulator that was killed points at a pseudo-terminal that is gone
// (or reused); anything else at that name belongs to someone else.
bool mayReplace(const std::string& link)
{
    struct stat st;
    if (::lstat(link.c_str(), &st) != 0)
        return errno == ENOENT;
    return S_ISLNK(st.st_mode) && ::access(link.c_str(), F_OK) != 0;
}

} // namespace

PtyLine::~PtyLine()
{
    removeLink();
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
}

bool PtyLine::open(const std::string& linkName, int rate, std::string& error)
{
    if (!mayReplace(linkName)) {
        error = linkName + " already exists; is another simulator running here?";
        return false;
    }
    char name[PATH_MAX];
    termios t {};
    ::cfmakeraw(&t); // no echo of our replies back into our own input
    ::cfsetspeed(&t, speedCode(rate));
    t.c_cflag |= CREAD | CLOCAL;
    if (::openpty(&master_, &slave_, name, &t, nullptr) != 0) {
        error = std::string("openpty: ") + std::strerror(errno);
        return false;
    }
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    // A master that stops reading must not block the simulator on a full tty queue.
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = name;

    ::unlink(linkName.c_str());
    if (::symlink(slavePath_.c_str(), linkName.c_str()) != 0) {
        error = "cannot create " + linkName + ": " + std::strerror(errno);
        return false;
    }
    link_ = linkName;
    return true;
}

LineSettings PtyLine::settings() const
{
    termios t {};
    if (::tcgetattr(slave_, &t) != 0)
        return {};
    LineSettings line;
    line.rate = speedRate(::cfgetospeed(&t));
    line.bitsPerByte
        = 1 + dataBits(t.c_cflag) + ((t.c_cflag & PARENB) ? 1 : 0) + ((t.c_cflag & CSTOPB) ? 2 : 1);
    return line;
}

void PtyLine::dropUnreadReplies()
{
    ::tcflush(slave_, TCIFLUSH);
}

void PtyLine::dropPendingRequest()
{
    ::tcflush(master_, TCIFLUSH);
}

void PtyLine::removeLink()
{
    // Only our own link: someone may have replaced it meanwhile.
    if (!link_.empty() && linkTarget(link_) == slavePath_)
        ::unlink(link_.c_str());
    link_.clear();
}

} // namespace sim
