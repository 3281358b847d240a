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
// Linux, CreateFileW on Windows. Every file the program writes goes through here.
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

    // Creates a file that must not exist yet; a link planted at `path` is never
    // followed. Check isOpen(), and error() for why not.
    static NewFile createNew(const std::filesystem::path& path);
    // Opens an existing file to write over its bytes in place: nothing is created
    // and nothing is cut off yet.
    static NewFile openExisting(const std::filesystem::path& path);

    bool isOpen() const;
    // Each is false on failure, with the reason in error().
    bool write(std::string_view bytes) override;
    // Cuts the file off after its first `size` bytes.
    bool cutAfter(std::size_t size);
    // Forces what was written to the disk.
    bool flushToDisk();
    bool close();
    int error() const { return error_; }

private:
    bool Fail();
#ifdef _WIN32
    static NewFile Opened(void* handle);
#else
    static NewFile Opened(int fd);
#endif

#ifdef _WIN32
    void* handle_ = nullptr; // a HANDLE
#else
    int fd_ = -1;
#endif
    int error_ = 0;
};

// Moves the file at `from` over `to`, replacing what is there (a link itself,
// never what it names). Returns 0 or an errno value: EBUSY when another program
// (on Windows a virus scanner, the search indexer, OneDrive, Explorer's preview)
// held one of the files all through the retries, about two seconds.
int MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to);
// Moves the file at `from` to `to` only if no file is there: the check and the
// move are one step. Returns 0, EEXIST when the name is taken, or another errno.
int MoveToNewName(const std::filesystem::path& from, const std::filesystem::path& to);

// The system's own words for an errno value one of the calls above gave: on
// Windows those of the Windows error behind it ("The network name is no longer
// available", "The device is not ready"), where this thread's last such call
// gave it.
std::string FileErrorText(int error);

// Whether `path` itself is a symbolic link (on Windows also a folder's junction;
// OneDrive's placeholders and other reparse points are files). Never followed.
bool IsLink(const std::filesystem::path& path);
// What the link at `path` names, as written in it: relative to its folder, or
// absolute. Empty when it cannot be read.
std::filesystem::path LinkTarget(const std::filesystem::path& link);

// Whether the system lets this user follow the link at `link`. Linux refuses
// (fs.protected_symlinks) a link in a folder that is sticky and writable by all
// unless the link is the user's own or the folder owner's, so that no one can
// steer another user's writes through /tmp. Windows has no such rule, and the
// program keeps Linux's there: a link is followed when this user made it, or
// whoever owns its folder did.
bool SystemFollowsLink(const std::filesystem::path& link);

} // namespace kvd
