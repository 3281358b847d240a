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
// is what is written into. A link on the way is not followed where it may be
// another user's trap: in a folder that users other than its owner may add to
// (writable by its group or by all, as /tmp and a team's folder are; on Windows,
// as its access list says), unless the link is the user's own, the folder
// owner's or the system's (root; Administrators, SYSTEM, TrustedInstaller).
// Linux's own guard (fs.protected_symlinks) holds in sticky folders writable by
// all alone, and only where it is switched on. Nothing on the way is ever opened
// through a link it did not check: a folder swapped for a link meanwhile is
// looked at again. Returns nothing, with the reason in `whyNot`, where it cannot
// be reached.
std::optional<Reached> WalkTo(const std::filesystem::path& chosen, LastLink last,
                              FolderCalls& calls, std::string& whyNot);

} // namespace kvd
