#pragma once

#include <filesystem>
#include <string>

#include "platform/NewFile.h"

namespace kvd {

// A folder held open. Every call below names an entry in a folder held so, so
// that once the writer has walked to a folder and checked it, nothing anyone
// swaps on the path afterwards (a folder renamed, a link put in its place)
// changes where the bytes land. On Linux it is a descriptor opened without read
// access (O_PATH), which a folder the user may pass through but not list allows;
// on Windows it is the folder's path, checked as it is reached.
class HeldFolder {
public:
    HeldFolder() = default;
    ~HeldFolder();
    HeldFolder(HeldFolder&& other) noexcept;
    HeldFolder& operator=(HeldFolder&& other) noexcept;
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;

    bool isOpen() const;
    // Why it could not be opened: an errno value.
    int error() const { return error_; }

#ifdef _WIN32
    explicit HeldFolder(std::filesystem::path path) : path_(std::move(path)) {}
    const std::filesystem::path& path() const {
        return path_;
    }
#else
    explicit HeldFolder(int fd) : fd_(fd) {}
    int fd() const {
        return fd_;
    }
#endif
    static HeldFolder failed(int error);

private:
#ifdef _WIN32
    std::filesystem::path path_;
#else
    int fd_ = -1;
#endif
    int error_ = 0;
};

// What an entry of a folder is, looked at itself: a link is never followed.
struct FolderEntry {
    enum class Kind { Missing, File, Folder, Link, Other };
    Kind kind = Kind::Missing;
    // Why it could not be looked at (an errno value); 0 when it could, or when it
    // is missing.
    int error = 0;
    // Its permission bits (rwx for owner, group, others, and the set-id and
    // sticky bits); on Windows 0444 for a read-only file, else 0666.
    unsigned permissions = 0;
    // Who owns it, as the system names owners (a user id, a SID's text); empty
    // where the file system keeps none.
    std::string owner;
    // Whether this program's user owns it, or the system does, whom no other user
    // can pass for: root; on Windows Administrators, SYSTEM and TrustedInstaller.
    bool ownedByUser = false;
    // Its group, as the system numbers groups (Unix's; 0 on Windows).
    unsigned group = 0;
    // For a folder: whether users other than its owner may add to it, so that a
    // link in it may be another user's trap: writable by its group or by all (as
    // /tmp and a team's folder are); on Windows, its access list lets them add
    // files or folders.
    bool sharedByAll = false;
};

// The file-system calls the writer makes, each step relative to a folder held
// open. The program uses the system's (SystemFolderCalls); a test can put in
// calls that change the file system between two of the writer's steps, as
// another user could.
class FolderCalls {
public:
    virtual ~FolderCalls() = default;
    // The folder a walk starts from: a root ("/", "C:\", "\\server\share\") or,
    // for ".", the working folder.
    virtual HeldFolder openStart(const std::filesystem::path& start) = 0;
    // The folder `name` in `folder`; never through a link (ELOOP or ENOTDIR then).
    virtual HeldFolder openFolder(const HeldFolder& folder, const std::filesystem::path& name) = 0;
    // The entry `name` in `folder`, or with an empty name the folder itself.
    virtual FolderEntry look(const HeldFolder& folder, const std::filesystem::path& name) = 0;
    // What the link `name` names, as written in it; empty when it cannot be read.
    virtual std::filesystem::path readLink(const HeldFolder& folder,
                                           const std::filesystem::path& name) = 0;
    // Creates the file `name`, which must not exist yet (nor a link by that
    // name), readable and writable by this user alone until given its mode.
    virtual NewFile createNew(const HeldFolder& folder, const std::filesystem::path& name) = 0;
    // Opens the existing file `name` to write over its bytes; never a link.
    virtual NewFile openExisting(const HeldFolder& folder, const std::filesystem::path& name) = 0;
    // 0, or why this user may not write the file `name` (an errno value).
    virtual int mayWrite(const HeldFolder& folder, const std::filesystem::path& name) = 0;
    // Renames `from` to `to` in the folder: over what `to` is (a link itself,
    // never what it names) when `replace`, else only where nothing has that name
    // (EEXIST then). 0, or an errno value: EBUSY where another program held one of
    // the files all through the retries (Windows), about two seconds.
    virtual int move(const HeldFolder& folder, const std::filesystem::path& from,
                     const std::filesystem::path& to, bool replace) = 0;
    virtual void remove(const HeldFolder& folder, const std::filesystem::path& name) = 0;
    // The longest name, in the system's units (bytes, UTF-16 units), the folder
    // takes.
    virtual std::size_t nameLimit(const HeldFolder& folder) = 0;
    // The mode a new file gets on this system (0666 less the user's umask).
    virtual unsigned newFileMode() = 0;
};

// The system's own calls.
FolderCalls& SystemFolderCalls();
// The calls the writer uses: the system's, unless a test put others in.
FolderCalls& CurrentFolderCalls();
// Puts in other calls (nullptr: the system's again).
void UseFolderCalls(FolderCalls* calls);

} // namespace kvd
