#include "parent_console.h"

#include <QtGlobal>

#ifdef Q_OS_WIN

#include <windows.h>

#include <cstdio>

namespace {

bool usable(HANDLE handle)
{
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

} // namespace

void useParentConsole()
{
    const bool outSet = usable(::GetStdHandle(STD_OUTPUT_HANDLE));
    const bool errSet = usable(::GetStdHandle(STD_ERROR_HANDLE));
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!outSet)
        std::freopen("CONOUT$", "w", stdout);
    if (!errSet)
        std::freopen("CONOUT$", "w", stderr);
}

#else

void useParentConsole() { }

#endif
