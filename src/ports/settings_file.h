#pragma once

#include <QByteArray>
#include <QString>

namespace line {

// The window keeps its port and baud rate in this file of the working directory; the command
// line reads it too.
inline constexpr const char* kSettingsFile = "com.txt";

// The port and baud rate remembered from one run to the next: two lines of text,
// "3" and "19200", each ended by CR LF.
struct StoredPort {
    int portNumber = 1; // 1 to 9 for COM1 to COM9, 0 for no port
    QString baud = QStringLiteral("9600");

    friend bool operator==(const StoredPort&, const StoredPort&) = default;
};

// What the settings file gave, and one line for each part of it that could not be used and
// was replaced by its default, so that a bad value is blamed on the file.
struct LoadedPort {
    StoredPort stored;
    QString fileNote; // the file is there but was not read: it is no regular file
    QString portNote; // line 1 is no port number 0 to 9
    QString baudNote; // line 2 is no baud rate
};

// Never fails: a first line that is not a number 0 to 9 gives COM1, a second line that is no
// rate gives 9600, each with a note; a missing or empty line gives its default silently.
// Reads CR LF and LF lines.
LoadedPort parseStoredPort(const QByteArray& content);
QByteArray formatStoredPort(int portNumber, const QString& baud);

// Reads only a regular file (or a link to one), without waiting on a FIFO or a device; the
// notes begin with the path. A missing file gives the defaults without a note.
LoadedPort loadStoredPort(const QString& path);
// Writes through a temporary file renamed over the old one, so a failed store never leaves a
// truncated file; a link to a regular file has its target replaced. Leaves alone a path that
// is, or links to, anything but a regular file. On failure returns false and says why.
bool storeStoredPort(const QString& path, int portNumber, const QString& baud, QString* error);

} // namespace line
