#pragma once

#include "invocation.h"

#include "line/master.h"

#include <QTextStream>

namespace cli {

// The master of one call: its timeout, each frame on stderr with -v, its warnings on stderr,
// and a stop signal that ends its waits at once.
class CallMaster final : public line::Master {
    Q_OBJECT

public:
    CallMaster(const Invocation& call, QTextStream& err);
};

} // namespace cli
