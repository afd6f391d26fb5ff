#include "line_for.h"

#include "transport/serial_line.h"
#include "transport/server_module.h"

namespace line {

std::unique_ptr<Line> lineFor(
    const LineAddress& address, QObject* parent, std::optional<LineFault>* why)
{
    if (!address.isServer())
        return std::make_unique<SerialLine>(address, parent);
    std::optional<LineFault> fault;
    auto line = serverLineFor(address, parent, fault);
    if (why)
        *why = fault;
    return line;
}

} // namespace line
