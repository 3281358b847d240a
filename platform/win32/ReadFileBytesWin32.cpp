#include "platform/ReadFileBytes.h"

#include "platform/win32/FileCalls.h"
#include "platform/win32/SystemErrorText.h"
#include "platform/win32/WindowsApi.h"

#include <algorithm>

namespace kvd {

namespace {

using namespace file_reading;

// Closes the handle it holds when it goes.
class OpenFile {
public:
    explicit OpenFile(HANDLE handle) : handle_(handle) {}
    ~OpenFile() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    HANDLE handle() const { return handle_; }

private:
    HANDLE handle_;
};

std::string WhyNotOpened(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return NoSuchFile;
    case ERROR_ACCESS_DENIED:
        return FileClosed;
    default:
        return Unreachable(SystemErrorText(error));
    }
}

// Why the file opened is not one to read; empty when it is one. Its size in
// `size`.
std::string WhyNotAFile(HANDLE file, std::uintmax_t& size) {
    if (GetFileType(file) != FILE_TYPE_DISK)
        return NotAFile;
    BY_HANDLE_FILE_INFORMATION seen{};
    if (!GetFileInformationByHandle(file, &seen))
        return ReadFailed(SystemErrorText(GetLastError()));
    if (seen.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return Folder;
    size = std::uintmax_t(seen.nFileSizeHigh) << 32 | seen.nFileSizeLow;
    return {};
}

std::ptrdiff_t ReadSomeOf(HANDLE file, char* into, std::size_t length, std::string& whyNot) {
    DWORD read = 0;
    const DWORD asked = DWORD(std::min<std::size_t>(length, 1U << 30));
    if (!ReadFile(file, into, asked, &read, nullptr)) {
        whyNot = ReadFailed(SystemErrorText(GetLastError()));
        return -1;
    }
    return std::ptrdiff_t(read);
}

} // namespace

// Others may read, write or remove the file meanwhile, as they may on Linux.
// FILE_FLAG_BACKUP_SEMANTICS opens a folder too, to be told as one. A device or
// a pipe is opened but never read: opening one does not wait.
std::optional<std::string> ReadFileBytes(const std::filesystem::path& path, std::size_t cap,
                                         std::string& whyNot) {
    const OpenFile file(CreateFileW(SystemPath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file.handle() == INVALID_HANDLE_VALUE) {
        whyNot = WhyNotOpened(GetLastError());
        return std::nullopt;
    }
    std::uintmax_t size = 0;
    whyNot = WhyNotAFile(file.handle(), size);
    if (!whyNot.empty())
        return std::nullopt;
    return ReadAllOf(
        size, cap,
        [&file](char* into, std::size_t length, std::string& why) {
            return ReadSomeOf(file.handle(), into, length, why);
        },
        whyNot);
}

} // namespace kvd
