// Any bytes as the settings file: the reader always yields a whole start (a port number the
// port list has, a baud text the baud box can show), what it yields is written and read back
// unchanged, and a file in the documented form is read as written.
//
// Input: the file's content.

#include "fuzz_check.h"

#include "link/settings_file.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

using fuzzcheck::require;
using line::formatStoredPort;
using line::parseStoredPort;
using line::StoredPort;

bool isPrintableAscii(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    return true;
}

// One line of the documented form at the start of content: its text and where the next begins.
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
    const StoredPort stored = parseStoredPort(content);

    require(stored.portNumber >= 0 && stored.portNumber <= 9, "the port number lies in 0 to 9");
    require(!stored.baud.isEmpty() && stored.baud.size() <= 16 && isPrintableAscii(stored.baud),
        "the baud text is 1 to 16 printable ASCII characters");

    const QByteArray written = formatStoredPort(stored.portNumber, stored.baud);
    require(written.endsWith("\r\n") && written.count("\r\n") == 2 && written.count('\n') == 2,
        "the file is written as exactly two CR LF lines");
    require(parseStoredPort(written) == stored, "what is read is written and read back unchanged");

    if (content.isEmpty()) {
        require(stored == StoredPort {}, "an empty file starts with COM1 and 9600");
        return 0;
    }

    // A first line that is one digit selects that port, one that is no number 0 to 9 selects
    // none (blanks around a digit may count either way); a second line of 1 to 16 printable
    // ASCII characters is the baud text. Only lines within the first 4096 bytes count: a huge
    // file is not read whole.
    const Line port = lineAt(content, 0);
    const bool digit = port.text.size() == 1 && port.text[0] >= '0' && port.text[0] <= '9';
    if (digit)
        require(stored.portNumber == port.text[0] - '0', "a one-digit first line is the port");
    QByteArray visible = port.text;
    visible.removeIf([](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); });
    const bool digitAmongBlanks = visible.size() == 1 && visible[0] >= '0' && visible[0] <= '9';
    if (port.text.size() <= 4096 && !digitAmongBlanks)
        require(stored.portNumber == 0, "a first line that is no number 0 to 9 selects no port");
    if (content.contains('\n')) {
        const Line baud = lineAt(content, port.next);
        const QString text = QString::fromLatin1(baud.text);
        if (port.next + baud.text.size() <= 4096 && !text.isEmpty() && text.size() <= 16
            && isPrintableAscii(text))
            require(stored.baud == text, "a plain second line is the baud text");
    }
    return 0;
}
