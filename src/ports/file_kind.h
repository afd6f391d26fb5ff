#pragma once

#include <QFile>
#include <QString>

namespace line {

// What a path names, as far as reading it whole or replacing it goes: only a regular file is
// safe for both; a FIFO or a device may block an open and never end a read.
enum class FileKind { Missing, Regular, Folder, Fifo, CharacterDevice, BlockDevice, Socket, Other };

// "a FIFO", "a character device", ... as a message names it.
QString kindText(FileKind kind);

// The kind of what path names, links followed.
FileKind kindAt(const QString& path);

// Where a symbolic link at path points; empty when path is no link.
QString linkTarget(const QString& path);

// Opens path for reading without waiting for a FIFO's writer, and says what it opened; the
// file is open unless the kind is Missing or Folder. An open that fails says why in why.
FileKind openForReading(const QString& path, QFile& file, QString* why = nullptr);

// The kind of an open file.
FileKind kindOf(const QFile& file);

} // namespace line
