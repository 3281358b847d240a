#include "platform/NewFile.h"

#include "platform/win32/WindowsApi.h"

#include <cerrno>
#include <utility>

namespace kvd {

namespace {

HANDLE AsHandle(void* handle) {
    return static_cast<HANDLE>(handle);
}

// Windows' error as the errno value that says the same, so that the reasons
// users read are the same words on every system.
int ErrnoFrom(DWORD error) {
    switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
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
    default:
        return EIO;
    }
}

void* Open(const std::filesystem::path& path, DWORD disposition) {
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

} // namespace

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
    error_ = ErrnoFrom(GetLastError());
    return false;
}

// A file for what CreateFileW just gave, with its error when that was nothing.
NewFile NewFile::Opened(void* handle) {
    NewFile file;
    file.handle_ = handle;
    if (handle == nullptr)
        file.Fail();
    return file;
}

// CREATE_NEW fails on any file or link already at the name, as "x" would.
NewFile NewFile::createNew(const std::filesystem::path& path) {
    return Opened(Open(path, CREATE_NEW));
}

NewFile NewFile::openExisting(const std::filesystem::path& path) {
    return Opened(Open(path, OPEN_EXISTING));
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

int MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    return ErrnoFrom(GetLastError());
}

int MoveToNewName(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH))
        return 0;
    return ErrnoFrom(GetLastError());
}

bool SystemFollowsLink(const std::filesystem::path&) {
    return true;
}

} // namespace kvd
