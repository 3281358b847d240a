#include "platform/FolderCalls.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kvd {

namespace fs = std::filesystem;

HeldFolder::~HeldFolder() {
    if (fd_ >= 0)
        ::close(fd_);
}

HeldFolder::HeldFolder(HeldFolder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(other.error_) {}

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
    std::swap(fd_, other.fd_);
    error_ = other.error_;
    return *this;
}

bool HeldFolder::isOpen() const {
    return fd_ >= 0;
}

HeldFolder HeldFolder::failed(int error) {
    HeldFolder folder;
    folder.error_ = error;
    return folder;
}

namespace {

// Passing through a folder needs no right to list it.
#ifdef O_PATH
constexpr int FolderAccess = O_PATH;
#else
constexpr int FolderAccess = O_RDONLY;
#endif

HeldFolder Held(int fd) {
    return fd >= 0 ? HeldFolder(fd) : HeldFolder::failed(errno);
}

FolderEntry::Kind KindOf(mode_t mode) {
    if (S_ISREG(mode))
        return FolderEntry::Kind::File;
    if (S_ISDIR(mode))
        return FolderEntry::Kind::Folder;
    if (S_ISLNK(mode))
        return FolderEntry::Kind::Link;
    return FolderEntry::Kind::Other;
}

// The umask as the kernel reports it; asking umask(2) itself would change it
// for a moment under the other threads.
mode_t UserMask() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("Umask:"))
            return mode_t(std::stoul(line.substr(6), nullptr, 8));
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

class PosixFolderCalls final : public FolderCalls {
public:
    HeldFolder openStart(const fs::path& start) override {
        return Held(::open(start.c_str(), FolderAccess | O_DIRECTORY | O_CLOEXEC));
    }

    HeldFolder openFolder(const HeldFolder& folder, const fs::path& name) override {
        return Held(::openat(folder.fd(), name.c_str(),
                             FolderAccess | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }

    FolderEntry look(const HeldFolder& folder, const fs::path& name) override {
        struct stat seen {};
        FolderEntry entry;
        if (::fstatat(folder.fd(), name.c_str(), &seen,
                      AT_SYMLINK_NOFOLLOW | (name.empty() ? AT_EMPTY_PATH : 0)) != 0) {
            entry.error = errno == ENOENT ? 0 : errno;
            return entry;
        }
        entry.kind = KindOf(seen.st_mode);
        entry.permissions = unsigned(seen.st_mode & 07777);
        entry.owner = std::to_string(seen.st_uid);
        entry.ownedByUser = seen.st_uid == ::geteuid() || seen.st_uid == 0;
        entry.group = unsigned(seen.st_gid);
        entry.sharedByAll = S_ISDIR(seen.st_mode) && (seen.st_mode & (S_IWGRP | S_IWOTH)) != 0;
        return entry;
    }

    fs::path readLink(const HeldFolder& folder, const fs::path& name) override {
        std::string target(256, '\0');
        while (true) {
            const ssize_t size =
                ::readlinkat(folder.fd(), name.c_str(), target.data(), target.size());
            if (size < 0)
                return {};
            if (std::size_t(size) < target.size()) {
                target.resize(std::size_t(size));
                return target;
            }
            target.resize(target.size() * 2);
        }
    }

    NewFile createNew(const HeldFolder& folder, const fs::path& name) override {
        return NewFile::opened(::openat(folder.fd(), name.c_str(),
                                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                        S_IRUSR | S_IWUSR));
    }

    // Not blocked by a pipe swapped in under the name: only a file is written.
    NewFile openExisting(const HeldFolder& folder, const fs::path& name) override {
        const int fd = ::openat(folder.fd(), name.c_str(),
                                O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        struct stat seen {};
        if (fd >= 0 &&
            (::fstat(fd, &seen) != 0 || !S_ISREG(seen.st_mode) || ::fcntl(fd, F_SETFL, 0) != 0)) {
            ::close(fd);
            errno = EINVAL;
            return NewFile::opened(-1);
        }
        return NewFile::opened(fd);
    }

    int mayWrite(const HeldFolder& folder, const fs::path& name) override {
        return ::faccessat(folder.fd(), name.c_str(), W_OK, 0) == 0 ? 0 : errno;
    }

    // The kernel's no-replace rename makes the check and the move one step; where
    // a file system does not offer it, the name is checked just before an
    // ordinary rename.
    int move(const HeldFolder& folder, const fs::path& from, const fs::path& to,
             bool replace) override {
        const int at = folder.fd();
        if (!replace) {
#ifdef RENAME_NOREPLACE
            if (::renameat2(at, from.c_str(), at, to.c_str(), RENAME_NOREPLACE) == 0)
                return 0;
            if (errno != EINVAL && errno != ENOSYS)
                return errno;
#endif
            struct stat seen {};
            if (::fstatat(at, to.c_str(), &seen, AT_SYMLINK_NOFOLLOW) == 0)
                return EEXIST;
        }
        return ::renameat(at, from.c_str(), at, to.c_str()) == 0 ? 0 : errno;
    }

    void remove(const HeldFolder& folder, const fs::path& name) override {
        ::unlinkat(folder.fd(), name.c_str(), 0);
    }

    std::size_t nameLimit(const HeldFolder& folder) override {
        const long limit = ::fpathconf(folder.fd(), _PC_NAME_MAX);
        return limit > 0 ? std::size_t(limit) : 255;
    }

    unsigned newFileMode() override {
        return 0666 & ~unsigned(UserMask());
    }
};

} // namespace

FolderCalls& SystemFolderCalls() {
    static PosixFolderCalls calls;
    return calls;
}

} // namespace kvd
