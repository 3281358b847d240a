#include "platform/FolderCalls.h"

#include "platform/win32/FileCalls.h"
#include "platform/win32/SystemErrorText.h"
#include "platform/win32/WindowsApi.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace kvd {

namespace fs = std::filesystem;

HeldFolder::~HeldFolder() = default;
HeldFolder::HeldFolder(HeldFolder&& other) noexcept
    : path_(std::move(other.path_)), error_(other.error_) {}

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
    path_ = std::move(other.path_);
    error_ = other.error_;
    return *this;
}

bool HeldFolder::isOpen() const {
    return !path_.empty();
}

HeldFolder HeldFolder::failed(int error) {
    HeldFolder folder;
    folder.error_ = error;
    return folder;
}

namespace {

// Windows' calls take a folder by its path: a folder is held as the path the
// walk checked, and each step names an entry in it. Between two steps another
// user could swap a folder they own on the way; Windows' rule for links (only an
// administrator, or a user in developer mode, may make one) narrows who could.
class WindowsFolderCalls final : public FolderCalls {
public:
    // A root is not looked at: a share's server (\\server\) answers no
    // question, and the next step into it says what is wrong.
    HeldFolder openStart(const fs::path& start) override { return HeldFolder(start); }

    HeldFolder openFolder(const HeldFolder& folder, const fs::path& name) override {
        const fs::path path = folder.path() / name;
        if (IsLinkAt(path))
            return HeldFolder::failed(ELOOP);
        if (!IsFolder(path)) {
            // A folder missing on the way is, in Windows' words, a path not found.
            const DWORD error = GetLastError();
            if (error == ERROR_SUCCESS)
                return HeldFolder::failed(ENOTDIR);
            return HeldFolder::failed(
                ErrnoFromWindows(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error));
        }
        return HeldFolder(name == ".." ? path.lexically_normal() : path);
    }

    FolderEntry look(const HeldFolder& folder, const fs::path& name) override {
        const fs::path path = name.empty() ? folder.path() : folder.path() / name;
        FolderEntry entry;
        const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
            entry.error = missing ? 0 : ErrnoFromWindows(error);
            return entry;
        }
        if (IsLinkAt(path))
            entry.kind = FolderEntry::Kind::Link;
        else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            entry.kind = FolderEntry::Kind::Folder;
        else if (attributes & FILE_ATTRIBUTE_DEVICE)
            entry.kind = FolderEntry::Kind::Other;
        else
            entry.kind = FolderEntry::Kind::File;
        entry.permissions = (attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
        const FileCalls& calls = CurrentFileCalls();
        const std::wstring owner = calls.ownerOf(SystemPath(path));
        entry.owner = fs::path(owner).string();
        // The system's own owners count as the user's: a link IT made from an
        // elevated prompt (C:\Data to D:\Data) is the Administrators group's.
        const std::vector<std::wstring> own = calls.ownUser();
        entry.ownedByUser =
            std::find(own.begin(), own.end(), owner) != own.end() || TrustedOwner(owner);
        entry.sharedByAll =
            entry.kind == FolderEntry::Kind::Folder && calls.othersMayAdd(SystemPath(path));
        return entry;
    }

    fs::path readLink(const HeldFolder& folder, const fs::path& name) override {
        ReparsePoint point;
        if (!CurrentFileCalls().reparsePoint(SystemPath(folder.path() / name), point))
            return {};
        return fs::path(point.names);
    }

    NewFile createNew(const HeldFolder& folder, const fs::path& name) override {
        return Open(folder.path() / name, CREATE_NEW);
    }

    NewFile openExisting(const HeldFolder& folder, const fs::path& name) override {
        return Open(folder.path() / name, OPEN_EXISTING);
    }

    int mayWrite(const HeldFolder&, const fs::path&) override { return 0; }

    int move(const HeldFolder& folder, const fs::path& from, const fs::path& to,
             bool replace) override {
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
        const MoveResult moved =
            MoveRetrying(SystemPath(folder.path() / from), SystemPath(folder.path() / to), flags);
        return moved.error == 0 ? 0 : ErrnoFromWindows(moved.error, moved.stillHeld);
    }

    void remove(const HeldFolder& folder, const fs::path& name) override {
        CurrentFileCalls().remove(SystemPath(folder.path() / name).c_str());
    }

    // NTFS, FAT and ReFS all take names of 255 UTF-16 units.
    std::size_t nameLimit(const HeldFolder&) override { return 255; }

    unsigned newFileMode() override { return 0666; }

private:
    static bool IsFolder(const fs::path& path) {
        SetLastError(ERROR_SUCCESS);
        const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    // A symbolic link or a folder's junction; OneDrive's placeholders and other
    // reparse points are files. MinGW's std::filesystem sees none of them.
    static bool IsLinkAt(const fs::path& path) {
        ReparsePoint point;
        return CurrentFileCalls().reparsePoint(SystemPath(path), point) &&
               (point.tag == IO_REPARSE_TAG_SYMLINK || point.tag == IO_REPARSE_TAG_MOUNT_POINT);
    }

    static NewFile Open(const fs::path& path, DWORD disposition) {
        HANDLE handle = CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                    disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        return NewFile::opened(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
    }
};

} // namespace

FolderCalls& SystemFolderCalls() {
    static WindowsFolderCalls calls;
    return calls;
}

} // namespace kvd
