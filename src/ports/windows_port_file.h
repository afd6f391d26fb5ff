#pragma once

#include <QDir>
#include <QString>

namespace line {

// Windows only. The network address that a regular file named COMn in the folder holds as its
// first line; empty when there is no such file, or it holds other words.
//
// COM1 to COM9 are device names in every folder: "C:\pwm5\COM3", and even "C:\pwm5\COM3.txt",
// is the serial port COM3 to CreateFile and to Qt (which turns such a name down). The file is
// reached by its "\\?\C:\pwm5\COM3" name, which goes to the file system as it is. Nothing that
// is not a plain file there is opened: a folder, a device or FIFO a wine folder links to, a
// link that leads elsewhere; so the serial port is never opened by mistake and no open or read
// waits.
QString portFileAddress(const QDir& folder, int n);

} // namespace line
