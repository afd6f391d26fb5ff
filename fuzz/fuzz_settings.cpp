// Any bytes as the settings file: the reader always yields a whole start (a port number the
// port list has, a rate the line takes), what it yields is written and read back unchanged, a
// file of two good lines is read as written, and every bad line is replaced and said.
//
// Input: the file's content.

#include "fuzz_check.h"

#include "ports/settings_file.h"
#include "rtu/port_settings.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

using fuzzcheck::require;
using line::formatStoredPort;
using line::LoadedPort;
using line::parseStoredPort;
using line::StoredPort;

// One line of the file at the start of content: its text and where the next begins.
// The line ends with LF, optionally preceded by CR, or at the end of the content.
struct Line {
    QByteArray text;
    qsizetype next;
};

Line lineAt(const QByteArray& content, qsizetype from)
{
    qsizetype end = content.indexOf('\n', from);
    const qsizetype next = end < 0 ? content.size() : end + 1;
    if (end < 0)
        end = content.size();
    QByteArray text = content.sliced(from, end - from);
    if (text.endsWith('\r'))
        text.chop(1);
    return { text, next };
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const LoadedPort loaded = parseStoredPort(content);
    const StoredPort& stored = loaded.stored;

    require(stored.portNumber >= 0 && stored.portNumber <= 9, "the port number lies in 0 to 9");
    require(line::baudRate(stored.baud).has_value(), "the baud text is a rate the line takes");

    const QByteArray written = formatStoredPort(stored.portNumber, stored.baud);
    require(written.endsWith("\r\n") && written.count("\r\n") == 2 && written.count('\n') == 2,
        "the file is written as exactly two CR LF lines");
    const LoadedPort reread = parseStoredPort(written);
    require(reread.stored == stored && reread.portNote.isEmpty() && reread.baudNote.isEmpty(),
        "what is read is written and read back unchanged, without a note");

    if (content.isEmpty()) {
        require(stored == StoredPort {} && loaded.portNote.isEmpty(),
            "an empty file starts with COM1 and 9600");
        return 0;
    }

    // A first line that is one digit selects that port; one that is something else gives COM1
    // and a note (blanks around a digit may count either way). A second line that is a rate is
    // the baud text; anything else there gives 9600 and a note. Only lines within the first
    // 4096 bytes count: a huge file is not read whole.
    const Line port = lineAt(content, 0);
    const bool digit = port.text.size() == 1 && port.text[0] >= '0' && port.text[0] <= '9';
    if (digit)
        require(stored.portNumber == port.text[0] - '0' && loaded.portNote.isEmpty(),
            "a one-digit first line is the port");
    QByteArray visible = port.text;
    visible.removeIf([](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); });
    const bool digitAmongBlanks = visible.size() == 1 && visible[0] >= '0' && visible[0] <= '9';
    if (port.text.size() <= 4096 && !digitAmongBlanks && !visible.isEmpty())
        require(stored.portNumber == 1 && !loaded.portNote.isEmpty(),
            "a first line that is no number 0 to 9 gives COM1 and says so");
    if (content.contains('\n')) {
        const Line baud = lineAt(content, port.next);
        const QString text = QString::fromLatin1(baud.text);
        if (port.next + baud.text.size() <= 4096 && line::baudRate(text))
            require(stored.baud == text && loaded.baudNote.isEmpty(), "a rate is the baud text");
        if (port.next + baud.text.size() <= 4096 && !text.isEmpty() && !line::baudRate(text))
            require(stored.baud == QStringLiteral("9600") && !loaded.baudNote.isEmpty(),
                "a second line that is no rate gives 9600 and says so");
    }
    return 0;
}
