#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace kvd {

// A folder of this user's own inside a folder every user may write (/tmp): made
// with room for no one else (mode 0700) or, when it is there already, taken only
// if it is a real folder (not a link), owned by this user and closed to others.
// Nothing when it cannot be had: someone else made it first, or planted a link
// under its name.
std::optional<std::filesystem::path> OwnFolderIn(const std::filesystem::path& shared,
                                                 std::string_view name);

} // namespace kvd
