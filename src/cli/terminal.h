#pragma once

namespace cli {

// Whether a person may be watching standard error, rather than a log file.
bool stderrIsTerminal();

// A standard stream that the caller closed (`pwm5ctl apply - <&-`) is opened on the null
// device, before anything else takes its number: else the first descriptor the program opens
// would pass for stdin, and apply would wait on it for ever.
void openClosedStandardStreams();

} // namespace cli
