#pragma once

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "capture/ClockTime.h"
#include "platform/DiskWorker.h"
#include "platform/Outcome.h"

namespace kvd {

// The name a screenshot gets in the save folder: kvd62-YYYYMMDD-HHMMSS-001.bmp for
// the first one of a second (local time), then -002, -003 ... for the next ones,
// so that names sorted byte by byte (ls, a file manager, a script) come in the
// order the screenshots arrived. Another `ending` names other files of the moment
// ("-unreadable.bin").
std::string FolderFileName(const std::tm& local, int nth, std::string_view ending = ".bmp");

// The moment a name of the save folder's stands for; none for any other name.
std::optional<std::time_t> MomentInFolderName(std::string_view name);

// What is told of the files written into the save folder: one line per file
// written (capture without a window prints it, for a script to follow), and what
// went wrong, for the person.
class CaptureReport {
public:
    virtual ~CaptureReport() = default;
    // A screenshot is complete in this file.
    virtual void saved(const std::string& path) = 0;
    virtual void problem(const std::string& text) = 0;
};

// The folder every arriving screenshot is saved into, each under a name of its
// own. A file already in the folder is never replaced or touched.
class ScreenshotFolder {
public:
    explicit ScreenshotFolder(std::filesystem::path folder) : folder_(std::move(folder)) {}

    struct Saved {
        // The file written, or the one that could not be.
        std::filesystem::path path;
        Outcome outcome = Outcome::success();
    };
    // Writes the screenshot's bytes, flushed and atomically, under the first free
    // name for the moment `when`.
    Saved save(const std::string& imageData, std::time_t when,
               std::string_view ending = ".bmp") const;

    const std::filesystem::path& folder() const { return folder_; }

private:
    template <typename Write>
    Saved SaveUnderFreeName(std::time_t when, std::string_view ending, Write write) const;

    std::filesystem::path folder_;
};

// Saves a screenshot that arrived at `arrived` into `folder` (as ScreenshotFolder
// names it), on the disk worker so that the line is still read meanwhile, and
// tells `report` the file or why it could not be written. True when it is there,
// or kept whole under another name (the problem told says which): it is written.
// The window and capture without a window both save through here. The folder is
// taken by value: the event loop turns during the write, and what the caller
// named may change meanwhile.
bool SaveIntoFolder(std::filesystem::path folder, const std::string& frame, std::time_t arrived,
                    DiskWorker& disk, CaptureReport& report);

// Why screenshots cannot be saved into `folder` at all, as the user is told (a
// link on its path that another user planted, a folder that is not there);
// empty when they can. Asked on the disk worker.
std::string WhyNotASaveFolder(const std::filesystem::path& folder, DiskWorker& disk);

} // namespace kvd
