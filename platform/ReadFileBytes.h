#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace kvd {

// Reads the whole of the file at `path` through the system's own calls (POSIX
// open(2) and read(2); CreateFileW and ReadFile on Windows), as long as it holds
// no more than `cap` bytes (less than SIZE_MAX).
//
// The file is opened once, and what is asked of it is asked of the file opened:
// a folder, a pipe or a device is refused before anything is read from it, so
// none can hold the program up; and the read stops at `cap` + 1 bytes, so a file
// that grows while it is read, or holds more than its size says, never takes
// more memory than that. Nothing is thrown.
//
// Returns the bytes, or nothing with the reason in `whyNot`, in a few words that
// speak of it as a picture file, which every file the program reads is ("there
// is no such file", "reading it failed (Input/output error); ...").
std::optional<std::string> ReadFileBytes(const std::filesystem::path& path, std::size_t cap,
                                         std::string& whyNot);

// What the two systems' readers share.
namespace file_reading {

inline constexpr const char* NoSuchFile = "there is no such file";
inline constexpr const char* Folder = "it is a folder, not a picture file";
inline constexpr const char* NotAFile = "it is a device or a pipe, not a file";
inline constexpr const char* FileClosed =
    "permission denied: you may not read it; ask its owner, or copy it where you may read it";
inline constexpr const char* FolderClosed = "permission denied: a folder on its path is closed to "
                                            "you; ask its owner, or copy it where you may read it";

// "it cannot be reached (WORDS)", with the system's own words for why it could
// not be opened.
std::string Unreachable(const std::string& systemWords);
// "reading it failed (WORDS); ...", with the system's own words for the error.
std::string ReadFailed(const std::string& systemWords);

// Reads at most `length` bytes into `into`: gives the count read, 0 at the end of
// the file, or -1 on a failure, with its reason in `whyNot`.
using ReadSome = std::function<std::ptrdiff_t(char* into, std::size_t length, std::string& whyNot)>;

// Reads by `readSome` a file whose size was seen to be `seenSize`: never more
// than `cap` + 1 bytes, and refused as too large when it is seen or found to hold
// more than `cap`.
std::optional<std::string> ReadAllOf(std::uintmax_t seenSize, std::size_t cap,
                                     const ReadSome& readSome, std::string& whyNot);

} // namespace file_reading

} // namespace kvd
