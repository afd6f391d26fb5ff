#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace line {

// The program that holds a serial device, as the lock file that Qt's serial port (ours, and
// every Qt program's) leaves in /var/lock names it: so that "in use by another program" can say
// which one, and, when it is the bridge, how to reach the line through it.
struct PortHolder {
    qint64 pid = 0;
    QString program; // its name, as the system gives it
    bool bridge = false; // pwm5ctl's bridge, which owns the line while it runs
    QString rtuFace; // the bridge's --rtu-tcp, as given; empty when it has none
};

// LCK..pts_0 for /dev/pts/0, LCK.._tmp_x_a for /tmp/x/a: the name Qt gives the lock.
QString lockFileName(const QString& devicePath);

// The holder from the lock file's text (its first line the process id) and the process's name
// and arguments; nothing when the text names no process.
std::optional<PortHolder> holderOf(
    const QString& lockText, const QString& program, const QStringList& arguments);

// The holder of the device, read from this PC's lock folder and process table.
std::optional<PortHolder> portHolder(const QString& devicePath);

// "in use by another program (pwm5-bridge, process 4242); the bridge owns the line: reach it
// through -p tcp:127.0.0.1:4001"
QString heldText(const PortHolder& holder);

} // namespace line
