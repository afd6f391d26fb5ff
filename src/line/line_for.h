#pragma once

#include "transport/line.h"

#include <memory>
#include <optional>

namespace line {

// The line for the address: a serial device's or a device server's. Nothing when this
// installation cannot make it (its network module is missing): why then says so.
std::unique_ptr<Line> lineFor(
    const LineAddress& address, QObject* parent = nullptr, std::optional<LineFault>* why = nullptr);

} // namespace line
