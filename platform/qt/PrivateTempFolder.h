#pragma once

#include <filesystem>

namespace kvd {

// A folder private to the user for short-lived files: the runtime directory on
// Linux (or, without one, a folder of the user's own made in /tmp), the user's
// temporary directory on Windows. Never a shared folder, where another user could
// plant a link under a name the program writes. Empty when none can be had.
std::filesystem::path PrivateTempFolder();

} // namespace kvd
