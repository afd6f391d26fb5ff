#include "server_module.h"

#include "transport/server_line.h"

// In the module (or linked in): the entry point that makes the line.
extern "C" Q_DECL_EXPORT line::Line* pwm5MakeServerLine(
    const line::LineAddress& address, QObject* parent)
{
    return new line::ServerLine(address, parent);
}
