#pragma once

#include <QtGlobal>

// TCP ports on 127.0.0.1 for the servers the tests start: one that is free to take, and
// whether a server listens on one yet.

// A port that nothing listens on as this returns.
quint16 freeLocalPort();
// Whether the kernel lists a socket listening on 127.0.0.1:port.
bool listensLocally(quint16 port);
