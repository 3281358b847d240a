#include "platform/ReadFileBytes.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace kvd {

namespace {

using namespace file_reading;

std::string SystemWords(int error) {
    return std::generic_category().message(error);
}

// Closes the file it holds when it goes.
class OpenFile {
public:
    explicit OpenFile(int fd) : fd_(fd) {}
    ~OpenFile() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// Why what `seen` describes is not a file to read; empty when it is one.
std::string WhyNotAFile(const struct stat& seen) {
    if (S_ISDIR(seen.st_mode))
        return Folder;
    if (!S_ISREG(seen.st_mode))
        return NotAFile;
    return {};
}

// Why the path could not be looked at (`opening` false) or the file opened.
std::string WhyNotReached(int error, bool opening) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return NoSuchFile;
    case EACCES:
    case EPERM:
        return opening ? FileClosed : FolderClosed;
    default:
        return Unreachable(SystemWords(error));
    }
}

// The path is looked at before it is opened: a device is never opened, since
// opening one can act (a serial port's open raises its lines).
std::string WhyNotToOpen(const std::filesystem::path& path) {
    struct stat seen {};
    if (::stat(path.c_str(), &seen) != 0)
        return WhyNotReached(errno, false);
    return WhyNotAFile(seen);
}

std::ptrdiff_t ReadSomeOf(int fd, char* into, std::size_t length, std::string& whyNot) {
    while (true) {
        const ssize_t read = ::read(fd, into, length);
        if (read >= 0)
            return read;
        if (errno != EINTR) {
            whyNot = ReadFailed(SystemWords(errno));
            return -1;
        }
    }
}

} // namespace

// O_NONBLOCK: should a pipe have taken the file's place since it was looked at,
// its open does not wait for a writer; the file opened is then refused by what
// fstat(2) says of it. Reads from a file are then made to wait for the disk, as
// they always do.
std::optional<std::string> ReadFileBytes(const std::filesystem::path& path, std::size_t cap,
                                         std::string& whyNot) {
    whyNot = WhyNotToOpen(path);
    if (!whyNot.empty())
        return std::nullopt;
    const OpenFile file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.fd() < 0) {
        whyNot = WhyNotReached(errno, true);
        return std::nullopt;
    }
    struct stat seen {};
    if (::fstat(file.fd(), &seen) != 0) {
        whyNot = ReadFailed(SystemWords(errno));
        return std::nullopt;
    }
    whyNot = WhyNotAFile(seen);
    if (!whyNot.empty())
        return std::nullopt;
    const int flags = ::fcntl(file.fd(), F_GETFL);
    if (flags < 0 || ::fcntl(file.fd(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        whyNot = ReadFailed(SystemWords(errno));
        return std::nullopt;
    }
    return ReadAllOf(
        std::uintmax_t(seen.st_size), cap,
        [&file](char* into, std::size_t length, std::string& why) {
            return ReadSomeOf(file.fd(), into, length, why);
        },
        whyNot);
}

} // namespace kvd
