#include "files/ScreenshotFolder.h"

#include <cstdio>
#include <optional>

#include "files/ScreenshotFile.h"
#include "platform/Utf8Path.h"

namespace kvd {

namespace {

// Far more screenshots than arrive in one second, even a full waiting queue
// dealt with at once, and as many as three digits number; past this many taken
// names something else is filling the folder, and the write gives up.
constexpr int MaxNamesPerSecond = 999;

} // namespace

std::string FolderFileName(const std::tm& local, int nth, std::string_view ending) {
    char name[80];
    const int year = local.tm_year + 1900, month = local.tm_mon + 1;
    std::snprintf(name, sizeof name, "kvd62-%04d%02d%02d-%02d%02d%02d-%03d", year, month,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, nth);
    return name + std::string(ending);
}

template <typename Write>
ScreenshotFolder::Saved
ScreenshotFolder::SaveUnderFreeName(std::time_t when, std::string_view ending, Write write) const {
    const std::tm local = LocalTime(when);
    std::filesystem::path path;
    for (int nth = 1; nth <= MaxNamesPerSecond; ++nth) {
        path = folder_ / FolderFileName(local, nth, ending);
        if (std::optional<Outcome> written = write(path))
            return {path, *written};
    }
    return {path, Outcome::failure("every name for this second is taken")};
}

std::optional<std::time_t> MomentInFolderName(std::string_view name) {
    std::tm local{};
    int nth = 0, length = 0;
    const std::string text(name);
    if (std::sscanf(text.c_str(), "kvd62-%4d%2d%2d-%2d%2d%2d-%3d%n", &local.tm_year, &local.tm_mon,
                    &local.tm_mday, &local.tm_hour, &local.tm_min, &local.tm_sec, &nth,
                    &length) != 7 ||
        length != int(std::string_view("kvd62-YYYYMMDD-HHMMSS-NNN").size()))
        return std::nullopt;
    local.tm_year -= 1900;
    local.tm_mon -= 1;
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    if (when == std::time_t(-1))
        return std::nullopt;
    return when;
}

ScreenshotFolder::Saved ScreenshotFolder::save(const std::string& imageData, std::time_t when,
                                               std::string_view ending) const {
    return SaveUnderFreeName(when, ending, [&](const std::filesystem::path& path) {
        return WriteNewScreenshotFile(imageData, path);
    });
}

bool SaveIntoFolder(std::filesystem::path folder, const std::string& frame, std::time_t arrived,
                    DiskWorker& disk, CaptureReport& report) {
    ScreenshotFolder::Saved saved;
    disk.run([&] { saved = ScreenshotFolder(folder).save(frame, arrived); });
    if (!saved.outcome) {
        report.problem(SaveFailedMessage(Utf8FromPath(saved.path), saved.outcome));
        // Kept whole under another name, it is written: writing it again would
        // only leave one more copy there.
        return saved.outcome.leftKeptAside();
    }
    report.saved(Utf8FromPath(saved.path));
    return true;
}

std::string WhyNotASaveFolder(const std::filesystem::path& folder, DiskWorker& disk) {
    Outcome usable = Outcome::success();
    disk.run([&] { usable = CheckFolderToWriteIn(folder); });
    if (usable)
        return {};
    return "Screenshots cannot be saved to " + Utf8FromPath(folder) + ": " + usable.reason() + ".";
}

} // namespace kvd
