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

} // namespace kvd
