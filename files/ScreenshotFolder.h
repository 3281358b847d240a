#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

#include "capture/ClockTime.h"
#include "platform/Outcome.h"

namespace kvd {

// The name a screenshot gets in the save folder: kvd62-YYYYMMDD-HHMMSS-001.bmp for
// the first one of a second (local time), then -002, -003 ... for the next ones,
// so that names sorted byte by byte (ls, a file manager, a script) come in the
// order the screenshots arrived. Another `ending` names other files of the moment
// ("-unreadable.bin").
std::string FolderFileName(const std::tm& local, int nth, std::string_view ending = ".bmp");

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
    std::filesystem::path folder_;
};

} // namespace kvd
