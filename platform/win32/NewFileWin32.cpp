#include "platform/NewFile.h"

#include "platform/win32/FileCalls.h"
#include "platform/win32/SystemErrorText.h"
#include "platform/win32/WindowsApi.h"

#include <algorithm>
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

int ErrnoFrom(DWORD error) {
    lastError = {ErrnoOf(error), error};
    return lastError.told;
}

// From this length on, a path is given to Windows in its long form ("\\?\C:\..."),
// which knows no MAX_PATH (260) limit; below it, as it is. A folder may be no
// longer than MAX_PATH less a file name of 8.3 (12).
constexpr std::size_t LongPathFrom = MAX_PATH - 12;

std::wstring SystemPath(const std::filesystem::path& path) {
    const std::wstring& given = path.native();
    if (given.size() < LongPathFrom || given.starts_with(L"\\\\?\\"))
        return given;
    std::wstring full(GetFullPathNameW(given.c_str(), 0, nullptr, nullptr), L'\0');
    full.resize(GetFullPathNameW(given.c_str(), DWORD(full.size()), full.data(), nullptr));
    if (full.empty())
        return given;
    if (full.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

void* Open(const std::filesystem::path& path, DWORD disposition) {
    HANDLE handle = CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

// A move that failed as the errno value that says why; EBUSY where another
// program held a file all through the retries.
int MoveError(const MoveResult& moved) {
    const int error = ErrnoFrom(moved.error);
    if (moved.stillHeld)
        lastError.told = EBUSY;
    return moved.stillHeld ? EBUSY : error;
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
    const MoveResult moved = MoveRetrying(SystemPath(from), SystemPath(to),
                                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    return moved.error == 0 ? 0 : MoveError(moved);
}

int MoveToNewName(const std::filesystem::path& from, const std::filesystem::path& to) {
    const MoveResult moved = MoveRetrying(SystemPath(from), SystemPath(to), MOVEFILE_WRITE_THROUGH);
    return moved.error == 0 ? 0 : MoveError(moved);
}

std::string FileErrorText(int error) {
    if (error != 0 && error == lastError.told)
        return SystemErrorText(lastError.windows);
    return std::generic_category().message(error);
}

// MinGW's std::filesystem sees no reparse points: a link is read here.
bool IsLink(const std::filesystem::path& path) {
    ReparsePoint point;
    return CurrentFileCalls().reparsePoint(SystemPath(path), point) &&
           (point.tag == IO_REPARSE_TAG_SYMLINK || point.tag == IO_REPARSE_TAG_MOUNT_POINT);
}

std::filesystem::path LinkTarget(const std::filesystem::path& link) {
    ReparsePoint point;
    if (!CurrentFileCalls().reparsePoint(SystemPath(link), point))
        return {};
    return std::filesystem::path(point.names);
}

// Linux's rule, with owners for users: the link is this user's, or its folder's
// owner made it. A file system that keeps no owners (FAT) has no links either.
bool SystemFollowsLink(const std::filesystem::path& link) {
    const FileCalls& calls = CurrentFileCalls();
    const std::wstring owner = calls.ownerOf(SystemPath(link));
    if (owner.empty())
        return true; // nothing to go by; the write that comes says what is wrong
    const std::vector<std::wstring> own = calls.ownUser();
    if (std::find(own.begin(), own.end(), owner) != own.end())
        return true;
    const std::filesystem::path folder = link.has_parent_path() ? link.parent_path() : ".";
    return calls.ownerOf(SystemPath(folder)) == owner;
}

} // namespace kvd
