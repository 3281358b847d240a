#include "platform/win32/ParentConsole.h"

#include <cstdio>
#include <windows.h>

namespace kvd {

namespace {

// A stream that a script redirected keeps its file or pipe.
void ToConsole(DWORD which, FILE* stream) {
    if (GetStdHandle(which) == nullptr)
        std::freopen("CONOUT$", "w", stream);
}

} // namespace

void UseParentConsole() {
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return; // started from the Start menu or Explorer: nothing to write to
    ToConsole(STD_OUTPUT_HANDLE, stdout);
    ToConsole(STD_ERROR_HANDLE, stderr);
}

} // namespace kvd
