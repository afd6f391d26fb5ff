#pragma once

// Outside a login session (root on a console, a service, a container) nothing sets
// XDG_RUNTIME_DIR, and Qt warns about it on every start before it makes a folder of its own.
// The window sets it to that same private folder, <temp>/runtime-<user>, made with mode 0700
// when missing. A folder there that is not ours alone is left to Qt, which then says so.
void providePrivateRuntimeDir();
