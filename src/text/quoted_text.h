#pragma once

#include <QString>
#include <QStringView>

#include <string_view>

// Text as messages quote it: what a person, a file or a peer gave, made safe for a terminal
// and short enough for one line. The bottom of the tree: every layer above may quote.
namespace quoting {

// A name, unit or default from the parameter table as text.
QString latin1(std::string_view text);

// The text with each control character (C0, DEL, C1) written as \x and two lower-case hex
// digits of its code, ESC as \x1b: a name or a file must not send control sequences to the
// terminal. A backslash stays as it is, so text that a caller has escaped so passes unchanged.
QString escapedControls(QStringView text);

// What a person gave, as an error line quotes it: escaped as above, whole up to kQuotedLength
// characters of the escaped form, else cut there, before an escape or a character rather than
// inside it, and ended by "…", so that a pasted page of digits does not fill the terminal.
inline constexpr qsizetype kQuotedLength = 40;
QString quotedValue(QStringView given);

} // namespace quoting
