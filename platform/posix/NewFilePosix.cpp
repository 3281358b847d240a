#include "platform/NewFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace kvd {

NewFile::~NewFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

NewFile::NewFile(NewFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(other.error_) {}

NewFile& NewFile::operator=(NewFile&& other) noexcept {
    std::swap(fd_, other.fd_);
    error_ = other.error_;
    return *this;
}

bool NewFile::Fail() {
    error_ = errno != 0 ? errno : EIO;
    return false;
}

// A file for what open(2) just gave, with its errno when that was nothing.
NewFile NewFile::Opened(int fd) {
    NewFile file;
    file.fd_ = fd;
    if (fd < 0)
        file.Fail();
    return file;
}

// O_EXCL: a file or a link already at the name makes it fail.
NewFile NewFile::createNew(const std::filesystem::path& path) {
    return Opened(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
}

// O_NOFOLLOW: the file was found before, and a link swapped in meanwhile is
// not followed.
NewFile NewFile::openExisting(const std::filesystem::path& path) {
    return Opened(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
}

bool NewFile::isOpen() const {
    return fd_ >= 0;
}

bool NewFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return Fail();
        bytes.remove_prefix(std::size_t(written));
    }
    return true;
}

bool NewFile::cutAfter(std::size_t size) {
    return ::ftruncate(fd_, off_t(size)) == 0 || Fail();
}

bool NewFile::flushToDisk() {
    return ::fsync(fd_) == 0 || Fail();
}

bool NewFile::close() {
    const int fd = std::exchange(fd_, -1);
    return ::close(fd) == 0 || Fail();
}

int MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// The kernel's no-replace rename makes the check and the move one step; where a
// file system does not offer it, the name is checked just before an ordinary
// rename.
int MoveToNewName(const std::filesystem::path& from, const std::filesystem::path& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
#endif
    struct stat seen {};
    if (::lstat(to.c_str(), &seen) == 0)
        return EEXIST;
    return MoveReplacing(from, to);
}

std::string FileErrorText(int error) {
    return std::generic_category().message(error);
}

bool IsLink(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_symlink(path, error);
}

std::filesystem::path LinkTarget(const std::filesystem::path& link) {
    std::error_code error;
    std::filesystem::path target = std::filesystem::read_symlink(link, error);
    return error ? std::filesystem::path{} : target;
}

// The kernel's rule, asked of every link: the follower owns it; or its folder is
// not both sticky and writable by all; or the folder's owner owns the link too.
// Applied whether or not the system has it switched on.
bool SystemFollowsLink(const std::filesystem::path& link) {
    struct stat linkSeen {
    }, folderSeen{};
    const std::filesystem::path folder = link.has_parent_path() ? link.parent_path() : ".";
    if (::lstat(link.c_str(), &linkSeen) != 0 || ::stat(folder.c_str(), &folderSeen) != 0)
        return true; // nothing to follow; the write that comes says what is wrong
    const bool shared = (folderSeen.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
    return linkSeen.st_uid == ::geteuid() || !shared || folderSeen.st_uid == linkSeen.st_uid;
}

} // namespace kvd
