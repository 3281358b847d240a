#include "platform/win32/ParentConsole.h"

#include <cstdio>
#include <windows.h>

namespace kvd {

namespace {

// Whether a stream already goes somewhere: a file or a pipe a script set up.
// Asked before attaching, since AttachConsole sets every standard handle to the
// console, while the C runtime's streams still point nowhere.
bool GoesSomewhere(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

} // namespace

void UseParentConsole() {
    const bool output = GoesSomewhere(STD_OUTPUT_HANDLE);
    const bool errors = GoesSomewhere(STD_ERROR_HANDLE);
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return; // started from the Start menu or Explorer: nothing to write to
    if (!output)
        std::freopen("CONOUT$", "w", stdout);
    if (!errors)
        std::freopen("CONOUT$", "w", stderr);
}

} // namespace kvd
