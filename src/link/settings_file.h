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

// Never fails: whatever is unusable falls back, line by line, to COM1 and 9600, and a first
// line that is not a number 0 to 9 selects no port. Reads CR LF and LF lines.
StoredPort parseStoredPort(const QByteArray& content);
QByteArray formatStoredPort(int portNumber, const QString& baud);

StoredPort loadStoredPort(const QString& path);
// Writes through a temporary file renamed over the old one, so a failed store never
// leaves a truncated file. On failure returns false and says why.
bool storeStoredPort(const QString& path, int portNumber, const QString& baud, QString* error);

} // namespace line
