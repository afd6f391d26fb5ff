#pragma once

#include <QString>

namespace testsupport {

// What a clumsy or hostile user may leave where a tool expects a small regular file.
enum class Planted {
    Fifo, // a FIFO that no one writes to
    NullDevice, // a character device node: a copy of /dev/null
    ZeroDevice, // a copy of /dev/zero, which never ends
    LinkToNullDevice, // a link to a NullDevice beside it
    DanglingLink, // a link to a path that names nothing
    Folder,
};

// Makes it at path; false where this machine refuses (a device node needs root).
bool plant(Planted what, const QString& path);

} // namespace testsupport
