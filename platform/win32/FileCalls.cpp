#include "platform/win32/FileCalls.h"

#include <aclapi.h>
#include <sddl.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>

namespace kvd {

namespace {

// A handle to `path` itself, a link not followed; closed on destruction.
class ReparseHandle {
public:
    ReparseHandle(const std::wstring& path, DWORD access)
        : handle_(CreateFileW(
              path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {}
    ~ReparseHandle() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    ReparseHandle(const ReparseHandle&) = delete;
    ReparseHandle& operator=(const ReparseHandle&) = delete;
    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// The layout FSCTL_GET_REPARSE_POINT gives for a symbolic link or a mount point
// (ntifs.h's REPARSE_DATA_BUFFER, which MinGW's headers for programs lack).
struct NamesHeader {
    WORD substituteOffset, substituteLength, printOffset, printLength;
};
constexpr ULONG LinkIsRelative = 1; // SYMLINK_FLAG_RELATIVE

std::wstring NameAt(const char* names, WORD offset, WORD length) {
    std::wstring name(length / sizeof(wchar_t), L'\0');
    std::memcpy(name.data(), names + offset, length);
    return name;
}

bool ReadReparsePoint(const std::wstring& path, ReparsePoint& point) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    const ReparseHandle link(path, 0);
    std::vector<char> buffer(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD got = 0;
    if (!link.isOpen() || !DeviceIoControl(link.get(), FSCTL_GET_REPARSE_POINT, nullptr, 0,
                                           buffer.data(), DWORD(buffer.size()), &got, nullptr))
        return false;
    const std::size_t header = 8; // tag, data length, reserved
    if (got < header + sizeof(NamesHeader))
        return false;
    std::memcpy(&point.tag, buffer.data(), sizeof point.tag);
    NamesHeader names{};
    std::memcpy(&names, buffer.data() + header, sizeof names);
    const bool isLink = point.tag == IO_REPARSE_TAG_SYMLINK;
    if (!isLink && point.tag != IO_REPARSE_TAG_MOUNT_POINT)
        return true; // another kind (OneDrive's, deduplication's): no link
    ULONG flags = 0;
    if (isLink)
        std::memcpy(&flags, buffer.data() + header + sizeof names, sizeof flags);
    const std::size_t at = header + sizeof names + (isLink ? sizeof flags : 0);
    const std::size_t end =
        at + std::max<std::size_t>(names.substituteOffset + names.substituteLength,
                                   names.printOffset + names.printLength);
    if (end > got)
        return false;
    const char* text = buffer.data() + at;
    point.names = NamedPath(NameAt(text, names.substituteOffset, names.substituteLength),
                            NameAt(text, names.printOffset, names.printLength),
                            isLink && (flags & LinkIsRelative) != 0);
    return true;
}

std::wstring SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidW(sid, &text))
        return {};
    std::wstring result = text;
    LocalFree(text);
    return result;
}

std::wstring OwnerOf(const std::wstring& path) {
    const ReparseHandle file(path, READ_CONTROL);
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!file.isOpen() ||
        GetSecurityInfo(file.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return {};
    std::wstring result = SidText(owner);
    LocalFree(descriptor);
    return result;
}

// One piece of this process's token, as its bytes.
std::vector<char> TokenPart(HANDLE token, TOKEN_INFORMATION_CLASS part) {
    DWORD size = 0;
    GetTokenInformation(token, part, nullptr, 0, &size);
    std::vector<char> bytes(size);
    if (size == 0 || !GetTokenInformation(token, part, bytes.data(), size, &size))
        bytes.clear();
    return bytes;
}

std::vector<std::wstring> OwnUser() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    std::vector<std::wstring> sids;
    if (const auto user = TokenPart(token, TokenUser); !user.empty())
        sids.push_back(SidText(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid));
    if (const auto owner = TokenPart(token, TokenOwner); !owner.empty())
        sids.push_back(SidText(reinterpret_cast<const TOKEN_OWNER*>(owner.data())->Owner));
    CloseHandle(token);
    std::erase(sids, std::wstring{});
    return sids;
}

// 0 when `path` opens for DELETE, sharing everything, else Windows' error:
// access denied where this user may not delete or rename it, a sharing
// violation where another program holds it without letting it be deleted.
DWORD OpenForDelete(const std::wstring& path) {
    const HANDLE file =
        CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    CloseHandle(file);
    return 0;
}

// A refusal that another program's hold on a file gives, gone once it lets go.
// A move over a file that any other program has open is refused as access
// denied, even where that program lets it be deleted; so is one this user may
// not make (NTFS "Write" without "Modify" on a share) and one onto a folder's
// name: those last. They are told apart by the user's right itself: whether
// either file opens for DELETE.
bool HeldForAMoment(DWORD error, const std::wstring& from, const std::wstring& to) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
        return true;
    if (error != ERROR_ACCESS_DENIED)
        return false;
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    const FileCalls& calls = CurrentFileCalls();
    return calls.openForDelete(to) != ERROR_ACCESS_DENIED &&
           calls.openForDelete(from) != ERROR_ACCESS_DENIED;
}

// Whether an entry of an access list lets someone other than this user, or the
// system's own owners, add to a folder. Entries that only pass on to what is
// made inside (inherit-only) give nothing on the folder itself; CREATOR OWNER
// and OWNER RIGHTS stand for the owner of each entry.
bool GivesOthersAdding(const ACE_HEADER& header, const ACCESS_ALLOWED_ACE& entry,
                       const std::vector<std::wstring>& own) {
    constexpr ACCESS_MASK adding =
        FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;
    if (header.AceType != ACCESS_ALLOWED_ACE_TYPE || (header.AceFlags & INHERIT_ONLY_ACE) ||
        (entry.Mask & adding) == 0)
        return false;
    const std::wstring sid = SidText(const_cast<DWORD*>(&entry.SidStart));
    return !sid.empty() && !TrustedOwner(sid) && sid != L"S-1-3-0" && sid != L"S-1-3-4" &&
           std::find(own.begin(), own.end(), sid) == own.end();
}

bool OthersMayAdd(const std::wstring& path) {
    const ReparseHandle folder(path, READ_CONTROL);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!folder.isOpen() ||
        GetSecurityInfo(folder.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return true; // unknown: the stricter rule
    const std::vector<std::wstring> own = OwnUser();
    bool others = dacl == nullptr; // no list at all: everyone may do anything
    for (DWORD i = 0; !others && i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (GetAce(dacl, i, &entry))
            others = GivesOthersAdding(*static_cast<const ACE_HEADER*>(entry),
                                       *static_cast<const ACCESS_ALLOWED_ACE*>(entry), own);
    }
    LocalFree(descriptor);
    return others;
}

} // namespace

FileCalls::FileCalls()
    : reparsePoint(ReadReparsePoint), ownerOf(OwnerOf), ownUser(OwnUser),
      othersMayAdd(OthersMayAdd), openForDelete(OpenForDelete) {}

bool TrustedOwner(const std::wstring& sid) {
    return sid == L"S-1-5-32-544" || sid == L"S-1-5-18" ||
           sid == L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
}

std::wstring NamedPath(const std::wstring& substitute, const std::wstring& print, bool relative) {
    if (relative)
        return substitute;
    if (!print.empty())
        return print;
    const std::wstring nt = L"\\??\\";
    if (!substitute.starts_with(nt))
        return substitute;
    const std::wstring rest = substitute.substr(nt.size());
    if (rest.starts_with(L"UNC\\"))
        return L"\\\\" + rest.substr(4);
    if (rest.size() >= 2 && rest[1] == L':')
        return rest;
    return L"\\\\?\\" + rest; // a volume by its GUID, or another device
}

FileCalls& CurrentFileCalls() {
    static FileCalls calls;
    return calls;
}

MoveResult MoveRetrying(const std::wstring& from, const std::wstring& to, DWORD flags) {
    const FileCalls& calls = CurrentFileCalls();
    DWORD waited = 0;
    for (DWORD wait = FirstMoveWaitMilliseconds;; wait *= 2) {
        if (calls.move(from.c_str(), to.c_str(), flags))
            return {};
        const DWORD error = calls.lastError();
        if (!HeldForAMoment(error, from, to))
            return {error, false};
        if (waited >= MoveRetryMilliseconds)
            return {error, true};
        wait = std::min(wait, MoveRetryMilliseconds - waited);
        calls.wait(wait);
        waited += wait;
    }
}

// A folder may be no longer than MAX_PATH less a file name of 8.3 (12).
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

} // namespace kvd
