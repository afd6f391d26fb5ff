#pragma once

#include "result.h"

#include "device/register_map.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The file apply writes to the module: the form read --json prints.
namespace cli {

// A parameter and the value to write, checked.
struct Assignment {
    const device::Parameter* parameter;
    device::Units units;
    QString rounded; // the file's value when the module cannot hold it exactly ("12.34")
};

// Why a file's key is not written: another command changes it, or the module measures it.
enum class Unwritten { ByAddressCommand, ByBaudCommand, Measured };

// A key of the file that is not written, and why.
struct IgnoredKey {
    QString key;
    Unwritten why;
};

// What a file gives: the values to write, and the keys it holds that are not written.
struct Profile {
    std::vector<Assignment> assignments;
    std::vector<IgnoredKey> ignored;
};

// Why a key is not written, in words: "the address command changes it".
QString unwrittenText(Unwritten why);
// apply's line for a key it passes over: "address is ignored: the address command changes it".
QString ignoredText(const IgnoredKey& ignored);

// apply writes what may be set but the baud-rate code, which has a command of its own.
bool writable(const device::Parameter& p);

// A profile is a few hundred bytes; an endless input (/dev/zero, yes |) is refused at this size
// before it fills the memory.
inline constexpr qsizetype kApplyInputLimit = qsizetype { 1 } << 20;
// How long a device or a FIFO may take to give its whole content.
inline constexpr int kApplyInputSeconds = 5;

// The FILE as messages name it: stdin for "-", else the path as given, control characters
// escaped.
QString fileName(const QString& path);

// The bytes of the file at path, or of stdin for "-", at most kApplyInputLimit of them. Fails
// with "FILE: why", FILE as fileName names it.
Result<QByteArray> applyFileContent(const QString& path);

// Every value the file gives, checked as set checks it but never clamped; or what is wrong with
// the file. It takes the nested form read --json prints (a line of several modules' output
// too), script names at the top ("ch1.duty": 25.5), and the "changed" object apply prints.
// An assignment is refused, not skipped: an unknown key, a value of the wrong type or beyond
// its range, more than five channels, a parameter given twice.
Result<Profile> applyFileProfile(const QByteArray& content);

} // namespace cli
