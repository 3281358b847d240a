#include "files/ScreenshotFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "capture/CaptureState.h"

namespace kvd {

namespace fs = std::filesystem;

namespace {

std::string systemReason(int error) {
    return std::generic_category().message(error);
}

// A name beside the target that no other file has; "x" in the open mode makes
// sure of it, and a link planted under that name is never followed.
fs::path SiblingName(const fs::path& target) {
    static std::mt19937_64 generator{std::random_device{}()};
    const auto tag = std::to_string(generator() % 1000000000ULL);
    fs::path sibling = target;
    sibling += ".part-" + tag;
    return sibling;
}

enum class Flush { ToDisk, No };

bool FlushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0)
        return false;
#ifdef _WIN32
    return _commit(_fileno(file)) == 0;
#else
    return ::fsync(fileno(file)) == 0;
#endif
}

// Opens a new file for writing, by its path as the system spells it.
std::FILE* CreateNew(const fs::path& path) {
#ifdef _WIN32
    return ::_wfopen(path.c_str(), L"wbx");
#else
    return std::fopen(path.c_str(), "wbx");
#endif
}

// A link is followed to the file it names, so that saving over the link replaces
// that file and the link stays a link.
fs::path FollowLinks(fs::path path) {
    std::error_code error;
    for (int hops = 0; hops < 40 && fs::is_symlink(path, error); ++hops) {
        const fs::path next = fs::read_symlink(path, error);
        if (error)
            break;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return path;
}

// Opens an existing file for writing over its bytes in place, by its path as the
// system spells it; nothing is created and nothing is cut off yet.
std::FILE* OpenExisting(const fs::path& path) {
#ifdef _WIN32
    const int fd = ::_wopen(path.c_str(), _O_WRONLY | _O_BINARY);
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
#endif
    if (fd < 0)
        return nullptr;
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr)
        ::close(fd);
    return file;
}

// Cuts the file off after its first `size` bytes.
bool CutAfter(std::FILE* file, std::size_t size) {
    if (std::fflush(file) != 0)
        return false;
#ifdef _WIN32
    return ::_chsize_s(_fileno(file), static_cast<long long>(size)) == 0;
#else
    return ::ftruncate(fileno(file), static_cast<off_t>(size)) == 0;
#endif
}

// Why an existing file must not be replaced: it is read-only (no one may write
// it, which binds the superuser too), or this user may not write it. Empty when
// it may be, or when there is no such file.
std::string WhyNotWritable(const fs::path& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::is_regular_file(status))
        return {};
    const auto write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((status.permissions() & write) == fs::perms::none)
        return "the file is read-only";
#ifndef _WIN32
    if (::access(path.c_str(), W_OK) != 0)
        return systemReason(errno);
#endif
    return {};
}

// Writes the bytes into `file` and closes it; true when all went well, else
// false with the reason's number in `error`.
bool WriteAndClose(std::FILE* file, std::string_view bytes, Flush flush, bool cutAfter,
                   int& error) {
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    error = errno;
    if (written && cutAfter && !CutAfter(file, bytes.size())) {
        written = false;
        error = errno;
    }
    if (written && flush == Flush::ToDisk && !FlushToDisk(file)) {
        written = false;
        error = errno;
    }
    if (std::fclose(file) != 0 && written) {
        written = false;
        error = errno;
    }
    if (error == 0)
        error = EIO;
    return written;
}

// Writes the bytes to a fresh file at `sibling`; on failure nothing is left there.
// `mayNotCreate` tells when the folder refused the new file for want of permission.
Outcome WriteNewFile(const fs::path& sibling, std::string_view bytes, Flush flush,
                     bool* mayNotCreate = nullptr) {
    std::FILE* file = CreateNew(sibling);
    if (file == nullptr) {
        const int error = errno;
        if (mayNotCreate != nullptr)
            *mayNotCreate = error == EACCES || error == EPERM;
        return Outcome::failure(systemReason(error));
    }
    int error = 0;
    if (!WriteAndClose(file, bytes, flush, false, error)) {
        std::error_code ignored;
        fs::remove(sibling, ignored);
        return Outcome::failure(systemReason(error));
    }
    return Outcome::success();
}

// Overwrites an existing file where it is. Only for a file the user may write in
// a folder they may not: no new file can be made beside it there, so the safe
// write cannot be done, and refusing would leave the user no way to save over a
// file that is theirs to change. Unlike the safe write, a failure part-way (a
// full disk) can leave the file damaged; it is done only where the user has
// agreed to replace that file.
Outcome WriteInPlace(const fs::path& path, std::string_view bytes, Flush flush) {
    std::FILE* file = OpenExisting(path);
    if (file == nullptr)
        return Outcome::failure(systemReason(errno));
    int error = 0;
    if (!WriteAndClose(file, bytes, flush, true, error))
        return Outcome::damaged(systemReason(error));
    return Outcome::success();
}

// A file that is replaced keeps the permissions it had.
void KeepPermissions(const fs::path& from, const fs::path& to) {
    std::error_code error;
    const fs::file_status status = fs::status(from, error);
    if (!error && fs::is_regular_file(status))
        fs::permissions(to, status.permissions(), error);
}

// Moves the finished file to a name no file has. The kernel's no-replace rename
// makes the check and the move one step; where a file system does not offer it,
// the name is checked just before an ordinary rename.
std::optional<Outcome> MoveToNewName(const fs::path& from, const fs::path& to) {
#ifdef _WIN32
    if (::_wrename(from.c_str(), to.c_str()) == 0)
        return Outcome::success();
    const int error = errno;
    if (error == EEXIST || (error == EACCES && fs::exists(to)))
        return std::nullopt;
    return Outcome::failure(systemReason(error));
#else
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return Outcome::success();
    if (errno == EEXIST)
        return std::nullopt;
    if (errno != EINVAL && errno != ENOSYS)
        return Outcome::failure(systemReason(errno));
#endif
    std::error_code error;
    if (fs::symlink_status(to, error).type() != fs::file_type::not_found)
        return std::nullopt;
    fs::rename(from, to, error);
    if (error)
        return Outcome::failure(error.message());
    return Outcome::success();
#endif
}

} // namespace

std::optional<Outcome> WriteNewScreenshotFile(const std::string& imageData, const fs::path& path) {
    if (imageData.size() < ScreenshotSize)
        return Outcome::failure("there is no complete screenshot to write");
    std::error_code error;
    if (fs::symlink_status(path, error).type() != fs::file_type::not_found)
        return std::nullopt;

    const fs::path sibling = SiblingName(path);
    if (Outcome written = WriteNewFile(
            sibling, std::string_view(imageData).substr(0, ScreenshotSize), Flush::ToDisk);
        !written)
        return written;
    std::optional<Outcome> moved = MoveToNewName(sibling, path);
    if (!moved || !*moved)
        fs::remove(sibling, error);
    return moved;
}

Outcome WriteTemporaryScreenshotFile(const std::string& imageData, const fs::path& path) {
    if (imageData.size() < ScreenshotSize)
        return Outcome::failure("there is no complete screenshot to write");
    const fs::path sibling = SiblingName(path);
    if (Outcome written =
            WriteNewFile(sibling, std::string_view(imageData).substr(0, ScreenshotSize), Flush::No);
        !written)
        return written;
    std::error_code error;
    fs::rename(sibling, path, error); // replaces a link itself, never what it names
    if (error) {
        std::error_code ignored;
        fs::remove(sibling, ignored);
        return Outcome::failure(error.message());
    }
    return Outcome::success();
}

Outcome WriteScreenshotFile(const std::string& imageData, const fs::path& chosen) {
    const Flush flush = Flush::ToDisk;
    if (imageData.size() < ScreenshotSize)
        return Outcome::failure("there is no complete screenshot to write");
    const fs::path path = FollowLinks(chosen);
    if (const std::string why = WhyNotWritable(path); !why.empty())
        return Outcome::failure(why);

    const std::string_view bytes = std::string_view(imageData).substr(0, ScreenshotSize);
    const fs::path sibling = SiblingName(path);
    bool mayNotCreate = false;
    if (Outcome written = WriteNewFile(sibling, bytes, flush, &mayNotCreate); !written) {
        std::error_code error;
        if (mayNotCreate && fs::is_regular_file(path, error))
            return WriteInPlace(path, bytes, flush);
        return written;
    }

    KeepPermissions(path, sibling);
    std::error_code error;
    fs::rename(sibling, path, error);
    if (error) {
        std::error_code ignored;
        fs::remove(sibling, ignored);
        return Outcome::failure(error.message());
    }
    return Outcome::success();
}

} // namespace kvd
