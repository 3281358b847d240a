#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/NewFile.h"
#include "platform/Outcome.h"

namespace kvd {

// Every file the program writes is written by one of these, and all of them by
// one writer, which keeps every rule: the links it follows (files/FolderWalk.h),
// the folder it checked held open to the end, the kinds of file it replaces, the
// new file's mode, its temporary name, the flush and the rename.
//
// Writes a screenshot to `path`: exactly its ScreenshotSize bytes, as received,
// nothing added or converted. The bytes go to a new file beside the target, which
// replaces the target only once all of them are written and flushed, so a failure
// (no screenshot yet, a folder that cannot be written, a full disk) leaves any
// earlier file of that name as it was and no partial file behind. A path that is
// a symbolic link, or leads through one, writes the file the link names; the link
// stays. A link the system would not follow (another user's, in a folder shared
// by all) is refused, and only a file is ever replaced: never a device, a pipe or
// a socket.
//
// The file is forced to the disk before it replaces the target. Where no new file
// can be made beside it (a file the user may change in a folder they may not),
// it is written over in place: a failure part-way may then leave it damaged,
// which the outcome says (Outcome::leftDamaged).
Outcome WriteScreenshotFile(std::string_view imageData, const std::filesystem::path& path);

// Writes the temporary file each new screenshot is shown through. Never through
// a link: a link at `path` (one someone planted) is replaced by the new file and
// what it names is left alone; and never in place. Not flushed: it is rewritten
// for every screenshot and needs no durability, and on a busy disk a flush can
// take seconds, which would hold up the window.
Outcome WriteTemporaryScreenshotFile(const std::string& imageData,
                                     const std::filesystem::path& path);

// Writes a screenshot as WriteScreenshotFile does, flushed, to a name that must be
// new: a file already at `path` is never replaced, not even one another program
// creates meanwhile. Returns nothing when the name is taken (nothing is written
// then), else the outcome of the write.
std::optional<Outcome> WriteNewScreenshotFile(const std::string& imageData,
                                              const std::filesystem::path& path);

// The same two writes for any bytes (an exported picture or document): all of
// them, as given.
Outcome WriteFileSafely(std::string_view bytes, const std::filesystem::path& path);

// What makes a file as it is written (a document too large to hold in memory
// whole): writes its bytes into the file, and returns its own failure, if any.
// Where a write into the file fails, the file's reason is the outcome.
using FileContents = std::function<Outcome(ByteSink& file)>;
// WriteFileSafely for a file made as it is written: the same safe write.
Outcome WriteFileAsMade(const FileContents& contents, const std::filesystem::path& path);
// The same, but never written over in place: where no new file can be made beside
// it, it is refused with the reason, and the file already there stays whole. For
// writes no one was asked about (an export from the command line).
Outcome WriteFileAsMadeWhole(const FileContents& contents, const std::filesystem::path& path);
std::optional<Outcome> WriteFileUnderNewName(std::string_view bytes,
                                             const std::filesystem::path& path);

// What the user is told when a screenshot could not be written to `path`: the
// reason, and whether the file there is as it was or may have been damaged.
// `what` names the file's contents, as "The screenshot".
std::string SaveFailedMessage(const std::string& path, const Outcome& written,
                              const std::string& what = "The screenshot");

// Whether files can be written into `folder` as far as its path goes: each link
// on the way is one the writer follows. The reason when not.
Outcome CheckFolderToWriteIn(const std::filesystem::path& folder);

} // namespace kvd
