#pragma once

#include "transport/line.h"

#include <memory>

// The line behind a device server needs Qt's network library, which costs a program that
// never reaches a server about 4 ms of CPU at every start (it and the libraries it brings are
// mapped and bound at load). So on Linux it is a module of its own, beside libpwm5-core.so,
// loaded at the first server line; on Windows it is linked in.
namespace line {

// A device server's line, or nothing when the module is not to be found: fault then says why.
std::unique_ptr<Line> serverLineFor(
    const LineAddress& address, QObject* parent, std::optional<LineFault>& fault);

} // namespace line

// The module's one entry point, found by name.
extern "C" line::Line* pwm5MakeServerLine(const line::LineAddress& address, QObject* parent);
