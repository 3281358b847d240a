#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace kvd {

// Where a file's bytes go as they are made.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // False on failure.
    virtual bool write(std::string_view bytes) = 0;
};

// A file opened for writing through the system's own calls: POSIX open(2) on
// Linux, CreateFileW on Windows. Only the writer's folder calls (FolderCalls.h)
// make one: every file the program writes goes through there.
//
// Why not the C runtime on Windows: MinGW-w64 links Windows' old msvcrt.dll,
// whose _wfopen does not know the "x" (create new only) mode and fails with
// EINVAL on every call, while Wine's msvcrt accepts it, so the tests under Wine
// pass and every save fails on a real PC. CreateFileW's CREATE_NEW is what "x"
// means, and works the same under Wine and Windows.
//
// Failures are errno values (EEXIST, EACCES, ENOSPC, ...) on both systems, so
// that rules read the same everywhere; FileErrorText gives the system's own words
// for them.
class NewFile final : public ByteSink {
public:
    NewFile() = default;
    ~NewFile() override;
    NewFile(NewFile&& other) noexcept;
    NewFile& operator=(NewFile&& other) noexcept;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // The file the system just opened (a descriptor, a HANDLE; -1 or nullptr
    // when it did not, with the system's error taken as the reason).
#ifdef _WIN32
    static NewFile opened(void* handle);
#else
    static NewFile opened(int fd);
#endif

    bool isOpen() const;
    // Each is false on failure, with the reason in error().
    bool write(std::string_view bytes) override;
    // Gives the file its permission bits (Unix's; nothing on Windows).
    bool setMode(unsigned mode);
    // Gives the file the group `group` where this user may (a group of theirs);
    // false where it keeps another (Unix's; true on Windows).
    bool keepGroup(unsigned group);
    // Cuts the file off after its first `size` bytes.
    bool cutAfter(std::size_t size);
    // Forces what was written to the disk.
    bool flushToDisk();
    bool close();
    int error() const {
        return error_;
    }

private:
    bool Fail();

#ifdef _WIN32
    void* handle_ = nullptr; // a HANDLE
#else
    int fd_ = -1;
#endif
    int error_ = 0;
};

// The system's own words for an errno value one of the calls above gave: on
// Windows those of the Windows error behind it ("The network name is no longer
// available", "The device is not ready"), where this thread's last such call
// gave it.
std::string FileErrorText(int error);

} // namespace kvd
