#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/FolderCalls.h"

namespace kvd {

// Where a path's last name is: the folder that holds it, held open, the name in
// it, and what is there now.
struct Reached {
    HeldFolder folder;
    std::filesystem::path name;
    FolderEntry entry;
    // The folder as the user would name it, for messages.
    std::filesystem::path shownFolder;
};

// Whether a link at the path's end is followed to the file it names, or is itself
// what the path names.
enum class LastLink { Followed, Kept };

// Walks to the folder of `chosen` one folder at a time, from its root, holding
// each folder open and naming the next one in it, so that what the walk checked
// is what is written into. Each link on the way is followed where the system
// itself would follow it: Linux refuses (fs.protected_symlinks) a link in a
// folder sticky and writable by all, as /tmp, unless the link is the user's own
// or the folder owner's, so that no one can steer another user's writes there.
// That rule is kept whether or not the system has it switched on, and on Windows
// for a folder whose access list lets other users add to it, with the system's
// own owners (Administrators, SYSTEM, TrustedInstaller) trusted as the user is. Nothing on the way
// is ever opened through a link it did not check: a folder swapped for a link meanwhile is looked
// at again. Returns nothing, with the reason in `whyNot`, where it cannot be reached.
std::optional<Reached> WalkTo(const std::filesystem::path& chosen, LastLink last,
                              FolderCalls& calls, std::string& whyNot);

} // namespace kvd
