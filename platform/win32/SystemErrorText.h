#pragma once

#include "platform/win32/WindowsApi.h"

#include <string>

namespace kvd {

// What a virus scanner answers (winerror.h's; MinGW's headers lack them).
inline constexpr DWORD VirusFound = 225;   // ERROR_VIRUS_INFECTED
inline constexpr DWORD VirusRemoved = 226; // ERROR_VIRUS_DELETED

// Windows' own words for one of its errors ("The network name is no longer
// available"), without the full stop and line end.
std::string SystemErrorText(DWORD error);

// Windows' error as the errno value that says the same (EBUSY where another
// program still held a file at the end of the retries), for the rules made on it
// to read the same on every system; remembered for this thread, so that
// FileErrorText gives Windows' own words for it.
int ErrnoFromWindows(DWORD error, bool held = false);

} // namespace kvd
