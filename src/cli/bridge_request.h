#pragma once

#include "apply_file.h"
#include "result.h"

#include <QByteArray>
#include <QString>

namespace cli {

// A command message may be no larger: a profile is a few hundred bytes.
inline constexpr qsizetype kMostCommandBytes = qsizetype { 64 } << 10;

// The values a command message asks for, checked as apply checks a file and never clamped; or
// why it is refused before anything is sent. name is the NAME of P/A/set/NAME, whose payload is
// a bare value (a number, on/off, ON/OFF, true/false); empty for P/A/set, whose payload is a
// JSON object in any form apply takes. The address, the baud rate and the supply voltage are
// refused: address, baud and adopt change the first two, and the module measures the third.
Result<Profile> commandProfile(const QString& name, const QByteArray& payload);

} // namespace cli
