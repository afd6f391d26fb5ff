#pragma once

// On Windows pwm5 is a GUI program, so a double click opens no console window. Started from a
// console, it writes its help, its refusals and its one-line errors there, and hears its
// Ctrl+C. Streams that the caller redirected stay where they go. Elsewhere it does nothing.
void useParentConsole();
