#include "platform/posix/OwnFolderInTmp.h"

#include <sys/stat.h>
#include <unistd.h>

namespace kvd {

std::optional<std::filesystem::path> OwnFolderIn(const std::filesystem::path& shared,
                                                 std::string_view name) {
    std::filesystem::path folder = shared / name;
    ::mkdir(folder.c_str(), S_IRWXU);
    // lstat: a link planted under the name is seen as a link, never followed.
    struct stat seen {};
    if (::lstat(folder.c_str(), &seen) != 0 || !S_ISDIR(seen.st_mode) ||
        seen.st_uid != ::geteuid() || (seen.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return std::nullopt;
    return folder;
}

} // namespace kvd
