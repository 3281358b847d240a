#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/Outcome.h"

namespace kvd {

// Writes a screenshot to `path`: exactly its ScreenshotSize bytes, as received,
// nothing added or converted. The bytes go to a new file beside the target, which
// replaces the target only once all of them are written and flushed, so a failure
// (no screenshot yet, a folder that cannot be written, a full disk) leaves any
// earlier file of that name as it was and no partial file behind. A path that is
// a symbolic link writes the file the link names; the link stays.
//
// A file the user saves is forced to the disk before it replaces the target. The
// temporary file each new screenshot is shown through is not (Flush::No): it is
// rewritten for every screenshot and needs no durability, and on a busy disk a
// flush can take seconds, which would hold up the window.
enum class Flush { ToDisk, No };
Outcome WriteScreenshotFile(const std::string& imageData, const std::filesystem::path& path,
                            Flush flush = Flush::ToDisk);

// Writes a screenshot as WriteScreenshotFile does, flushed, to a name that must be
// new: a file already at `path` is never replaced, not even one another program
// creates meanwhile. Returns nothing when the name is taken (nothing is written
// then), else the outcome of the write.
std::optional<Outcome> WriteNewScreenshotFile(const std::string& imageData,
                                              const std::filesystem::path& path);

} // namespace kvd
