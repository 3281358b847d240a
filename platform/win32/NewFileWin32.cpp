#include "platform/NewFile.h"

#include "platform/win32/SystemErrorText.h"
#include "platform/win32/WindowsApi.h"

#include <cerrno>
#include <system_error>
#include <utility>

namespace kvd {

namespace {

HANDLE AsHandle(void* handle) {
    return static_cast<HANDLE>(handle);
}

// The Windows error this thread's last failed call gave, and the errno value it
// was told as, for FileErrorText to give Windows' own words for it.
struct LastError {
    int told = 0;
    DWORD windows = 0;
};
thread_local LastError lastError;

// Windows' error as the errno value that says the same, for the rules that are
// made on it to read the same on every system.
int ErrnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EBUSY;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_NOT_READY:
        return ENXIO;
    default:
        return EIO;
    }
}

} // namespace

int ErrnoFromWindows(DWORD error, bool held) {
    lastError = {held ? EBUSY : ErrnoOf(error), error};
    return lastError.told;
}

NewFile::~NewFile() {
    if (handle_ != nullptr)
        CloseHandle(AsHandle(handle_));
}

NewFile::NewFile(NewFile&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(other.error_) {}

NewFile& NewFile::operator=(NewFile&& other) noexcept {
    std::swap(handle_, other.handle_);
    error_ = other.error_;
    return *this;
}

bool NewFile::Fail() {
    error_ = ErrnoFromWindows(GetLastError());
    return false;
}

NewFile NewFile::opened(void* handle) {
    NewFile file;
    file.handle_ = handle;
    if (handle == nullptr)
        file.Fail();
    return file;
}

bool NewFile::isOpen() const {
    return handle_ != nullptr;
}

bool NewFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(AsHandle(handle_), bytes.data(), DWORD(bytes.size()), &written, nullptr))
            return Fail();
        if (written == 0) {
            error_ = EIO;
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

// Windows' files have no such bits; read-only is an attribute the new file
// never gets.
bool NewFile::setMode(unsigned) {
    return true;
}

bool NewFile::keepGroup(unsigned) {
    return true;
}

bool NewFile::cutAfter(std::size_t size) {
    LARGE_INTEGER at{};
    at.QuadPart = LONGLONG(size);
    return (SetFilePointerEx(AsHandle(handle_), at, nullptr, FILE_BEGIN) &&
            SetEndOfFile(AsHandle(handle_))) ||
           Fail();
}

bool NewFile::flushToDisk() {
    return FlushFileBuffers(AsHandle(handle_)) || Fail();
}

bool NewFile::close() {
    return CloseHandle(AsHandle(std::exchange(handle_, nullptr))) || Fail();
}

std::string FileErrorText(int error) {
    if (error != 0 && error == lastError.told)
        return SystemErrorText(lastError.windows);
    return std::generic_category().message(error);
}

} // namespace kvd
