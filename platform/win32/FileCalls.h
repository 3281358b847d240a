#pragma once

#include "platform/win32/WindowsApi.h"

#include <filesystem>
#include <string>
#include <vector>

namespace kvd {

// What a reparse point at a path says: its kind (IO_REPARSE_TAG_SYMLINK, a
// folder's IO_REPARSE_TAG_MOUNT_POINT, OneDrive's cloud tags, ...) and, for a
// link, what it names as written in it.
struct ReparsePoint {
    DWORD tag = 0;
    std::wstring names;
};

// The Windows calls that saving a file makes where Windows answers what Wine
// cannot show: a virus scanner holding a file, a share that lets a user create
// files but not rename or delete them, a symbolic link (Wine's
// CreateSymbolicLinkW makes none). Tests put in calls that give Windows'
// documented answers; the program uses Windows' own.
struct FileCalls {
    BOOL(WINAPI* move)(LPCWSTR from, LPCWSTR to, DWORD flags) = MoveFileExW;
    BOOL(WINAPI* remove)(LPCWSTR path) = DeleteFileW;
    DWORD(WINAPI* lastError)() = GetLastError;
    // Waits before a move is tried again.
    void(WINAPI* wait)(DWORD milliseconds) = Sleep;
    // The reparse point at `path` itself, never followed; false where there is none.
    bool (*reparsePoint)(const std::wstring& path, ReparsePoint& point);
    // The owner of `path` itself as a SID's text ("S-1-5-21-..."); empty when the
    // file system keeps none (FAT) or it cannot be read.
    std::wstring (*ownerOf)(const std::wstring& path);
    // The owners that mean this program's user: the user, and the owner the
    // user's new files get (the Administrators group, for an elevated program).
    std::vector<std::wstring> (*ownUser)();
    // Whether users other than this one (and other than the system's own
    // owners, TrustedOwner) may add files or folders to the folder `path`, as its
    // access list says: Windows' form of a folder sticky and writable by all.
    bool (*othersMayAdd)(const std::wstring& path);
    // 0 when `path` opens for DELETE, sharing everything, else Windows' error:
    // ERROR_ACCESS_DENIED where this user may not delete or rename it.
    DWORD (*openForDelete)(const std::wstring& path);

    FileCalls();
};

// The calls in use.
FileCalls& CurrentFileCalls();

// Whether the owner `sid` (as text) is one the system itself trusts: the
// Administrators group (links made by an elevated program are its), SYSTEM and
// TrustedInstaller (the owners of C:\ and Windows' own folders).
bool TrustedOwner(const std::wstring& sid);

// What a link names, as a path Windows' calls take, from the names written in it:
// its print name where it has one, else its substitute name without NT's "\??\"
// ("\??\C:\Data" is "C:\Data", "\??\UNC\server\share" is "\\server\share",
// and a volume mounted by its GUID, "\??\Volume{...}\", is "\\?\Volume{...}\").
// A relative link's substitute name as written.
std::wstring NamedPath(const std::wstring& substitute, const std::wstring& print, bool relative);

// How long, in all, a move that another program's hold on a file refused is
// tried again, and the first wait; each wait is twice the one before.
inline constexpr DWORD MoveRetryMilliseconds = 2000;
inline constexpr DWORD FirstMoveWaitMilliseconds = 10;

// Moves as MoveFileExW does with `flags`. Where Windows refuses because another
// program (a virus scanner, the search indexer, OneDrive, Explorer's preview)
// has one of the files open for a moment, tries again after growing waits, for
// MoveRetryMilliseconds in all. A refusal that is no hold (this user may not
// rename or replace the files) is not tried again. Returns 0, or Windows' error
// and whether it was still that hold when the time ran out.
struct MoveResult {
    DWORD error = 0;
    bool stillHeld = false;
};
MoveResult MoveRetrying(const std::wstring& from, const std::wstring& to, DWORD flags);

// `path` as Windows' calls take it: from MAX_PATH on, in its long form
// ("\\?\C:\..."), which knows no MAX_PATH (260) limit; below it, as it is.
std::wstring SystemPath(const std::filesystem::path& path);

} // namespace kvd
