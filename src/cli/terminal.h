#pragma once

namespace cli {

// Whether a person may be watching standard error, rather than a log file.
bool stderrIsTerminal();

} // namespace cli
