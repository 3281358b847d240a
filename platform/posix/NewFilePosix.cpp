#include "platform/NewFile.h"

#include <cerrno>
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

NewFile NewFile::opened(int fd) {
    NewFile file;
    file.fd_ = fd;
    if (fd < 0)
        file.Fail();
    return file;
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

bool NewFile::setMode(unsigned mode) {
    return ::fchmod(fd_, mode_t(mode)) == 0 || Fail();
}

bool NewFile::keepGroup(unsigned group) {
    struct stat seen {};
    if (::fstat(fd_, &seen) != 0)
        return false;
    return seen.st_gid == gid_t(group) || ::fchown(fd_, uid_t(-1), gid_t(group)) == 0;
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

std::string FileErrorText(int error) {
    return std::generic_category().message(error);
}

} // namespace kvd
