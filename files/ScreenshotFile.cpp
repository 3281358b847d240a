#include "files/ScreenshotFile.h"

#include <cerrno>
#include <random>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "capture/ScreenshotFormat.h"
#include "platform/NewFile.h"
#include "platform/Utf8Path.h"

namespace kvd {

namespace fs = std::filesystem;

namespace {

std::string systemReason(int error) {
    return FileErrorText(error);
}

// A name beside the target that no other file has; creating it as a new file
// makes sure of it, and a link planted under that name is never followed.
fs::path SiblingName(const fs::path& target) {
    static std::mt19937_64 generator{std::random_device{}()};
    const auto tag = std::to_string(generator() % 1000000000ULL);
    fs::path sibling = target;
    sibling += ".part-" + tag;
    return sibling;
}

enum class Flush { ToDisk, No };

// The path with every link on the way followed, to the file it names, so that
// saving over a link replaces that file and the link stays a link; but only
// links the system itself would follow: a link another user planted in a shared
// folder (/tmp, a drop folder writable by all), to the file or to a folder on
// the way, is refused, not followed. The reason is set when refused.
std::optional<fs::path> FollowLinks(const fs::path& chosen, std::string& whyNot) {
    std::error_code error;
    const fs::path absolute = fs::absolute(chosen, error);
    if (error)
        return chosen; // the write that comes says what is wrong
    fs::path done = absolute.root_path();
    std::vector<fs::path> ahead; // the next part last
    const auto goesOnWith = [&ahead](const fs::path& path) {
        const fs::path rest = path.relative_path();
        const std::vector<fs::path> parts(rest.begin(), rest.end());
        ahead.insert(ahead.end(), parts.rbegin(), parts.rend());
    };
    goesOnWith(absolute);
    for (int hops = 0; !ahead.empty();) {
        const fs::path part = ahead.back();
        ahead.pop_back();
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            done = done.parent_path();
            continue;
        }
        const fs::path next = done / part;
        if (!IsLink(next)) {
            done = next;
            continue;
        }
        if (!SystemFollowsLink(next)) {
            whyNot = Utf8FromPath(next) +
                     " is a link that another user made in a shared folder; such links are "
                     "not followed, by the system or by this program. Remove the link or "
                     "choose another name";
            return std::nullopt;
        }
        const fs::path target = LinkTarget(next);
        if (target.empty() || ++hops > 40)
            return chosen; // as above
        if (target.is_absolute())
            done = target.root_path();
        goesOnWith(target);
    }
    return done;
}

// Why an existing file must not be replaced: it is read-only (no one may write
// it, which binds the superuser too), or this user may not write it. Empty when
// it may be, or when there is no such file.
std::string WhyNotWritable(const fs::path& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status) || fs::is_directory(status))
        return {};
    // A device, a pipe or a socket is never replaced by a file (run as root, a
    // link to /dev/null would otherwise replace /dev/null).
    if (!fs::is_regular_file(status))
        return "it is a device, a pipe or a socket, not a file; choose a file to write";
    const auto write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((status.permissions() & write) == fs::perms::none)
        return "the file is read-only";
#ifndef _WIN32
    if (::access(path.c_str(), W_OK) != 0)
        return systemReason(errno);
#endif
    return {};
}

// Counts what the contents write, for a file written over in place to be cut
// off after them.
class CountingSink final : public ByteSink {
public:
    explicit CountingSink(NewFile& file) : file_(file) {}
    bool write(std::string_view bytes) override {
        written_ += bytes.size();
        return file_.write(bytes);
    }
    std::size_t written() const { return written_; }

private:
    NewFile& file_;
    std::size_t written_ = 0;
};

// Makes the contents into `file` and closes it. A write that failed gives the
// system's reason; else the contents' own refusal is the outcome.
Outcome WriteAndClose(NewFile& file, const FileContents& contents, Flush flush, bool cutAfter) {
    CountingSink sink(file);
    const Outcome made = contents(sink);
    // A write that failed fails the file, whatever the contents made of it.
    const bool written = made && file.error() == 0 &&
                         (!cutAfter || file.cutAfter(sink.written())) &&
                         (flush == Flush::No || file.flushToDisk());
    const int error = file.error();
    const bool closed = file.close();
    if (written && !closed)
        return Outcome::failure(systemReason(file.error()));
    if (written)
        return Outcome::success();
    return error != 0 ? Outcome::failure(systemReason(error)) : made;
}

// Writes the contents to a fresh file at `sibling`; on failure nothing is left
// there. `mayNotCreate` tells when the folder refused the new file for want of
// permission.
Outcome WriteNewFile(const fs::path& sibling, const FileContents& contents, Flush flush,
                     bool* mayNotCreate = nullptr) {
    NewFile file = NewFile::createNew(sibling);
    if (!file.isOpen()) {
        if (mayNotCreate != nullptr)
            *mayNotCreate = file.error() == EACCES || file.error() == EPERM;
        return Outcome::failure(systemReason(file.error()));
    }
    Outcome written = WriteAndClose(file, contents, flush, false);
    if (!written) {
        std::error_code ignored;
        fs::remove(sibling, ignored);
    }
    return written;
}

// Overwrites an existing file where it is. Only for a file the user may write in
// a folder they may not: no new file can be made beside it there, so the safe
// write cannot be done, and refusing would leave the user no way to save over a
// file that is theirs to change. Unlike the safe write, a failure part-way (a
// full disk) can leave the file damaged, and the outcome says so; it is done only
// where the user has agreed to replace that file.
Outcome WriteInPlace(const fs::path& path, const FileContents& contents, Flush flush) {
    NewFile file = NewFile::openExisting(path);
    if (!file.isOpen())
        return Outcome::failure(systemReason(file.error()));
    if (Outcome written = WriteAndClose(file, contents, flush, true); !written)
        return Outcome::damaged(written.reason());
    return Outcome::success();
}

// The contents that are these bytes, all of them.
FileContents BytesOf(std::string_view bytes) {
    return [bytes](ByteSink& file) {
        return file.write(bytes) ? Outcome::success() : Outcome::failure("it could not be written");
    };
}

// A file that is replaced keeps who may read and write it, but nothing that
// would give the new file away: in a shared folder the old one may be another
// user's, set to run (as its owner) or open to every user's writes, and the new
// one is ours. A picture or a report is never a program.
void KeepPermissions(const fs::path& from, const fs::path& to) {
    std::error_code error;
    const fs::file_status status = fs::status(from, error);
    constexpr fs::perms givenAway =
        fs::perms::set_uid | fs::perms::set_gid | fs::perms::sticky_bit | fs::perms::others_write |
        fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    if (!error && fs::is_regular_file(status))
        fs::permissions(to, status.permissions() & ~givenAway, error);
}

// A move that another program (a virus scanner, an indexer, a preview) held up
// all through its retries: the finished file is kept under its own name, and the
// reason says where.
Outcome KeptAside(int error, const fs::path& from, const fs::path& to) {
    return Outcome::failure(systemReason(error) + " (another program, such as a virus scanner, " +
                            "kept " + Utf8FromPath(to.filename()) +
                            " open); the finished file is kept as " + Utf8FromPath(from) +
                            ": rename it once that program lets go");
}

// Moves the finished file over `to`; on failure nothing is left at `from`, but
// for a file held by another program, which is kept.
Outcome MoveInto(const fs::path& from, const fs::path& to) {
    if (const int error = MoveReplacing(from, to); error != 0) {
        if (error == EBUSY)
            return KeptAside(error, from, to);
        std::error_code ignored;
        fs::remove(from, ignored);
        return Outcome::failure(systemReason(error));
    }
    return Outcome::success();
}

} // namespace

std::optional<Outcome> WriteNewScreenshotFile(const std::string& imageData, const fs::path& path) {
    if (imageData.size() < ScreenshotSize)
        return Outcome::failure("there is no complete screenshot to write");
    return WriteFileUnderNewName(std::string_view(imageData).substr(0, ScreenshotSize), path);
}

std::optional<Outcome> WriteFileUnderNewName(std::string_view bytes, const fs::path& path) {
    std::error_code error;
    if (fs::symlink_status(path, error).type() != fs::file_type::not_found)
        return std::nullopt;

    const fs::path sibling = SiblingName(path);
    if (Outcome written = WriteNewFile(sibling, BytesOf(bytes), Flush::ToDisk); !written)
        return written;
    const int moved = MoveToNewName(sibling, path);
    if (moved == 0)
        return Outcome::success();
    if (moved == EBUSY)
        return KeptAside(moved, sibling, path);
    fs::remove(sibling, error);
    // Windows refuses a move onto a folder's name as access denied.
    if (moved == EEXIST ||
        (moved == EACCES && fs::symlink_status(path, error).type() != fs::file_type::not_found))
        return std::nullopt;
    return Outcome::failure(systemReason(moved));
}

Outcome WriteTemporaryScreenshotFile(const std::string& imageData, const fs::path& path) {
    if (imageData.size() < ScreenshotSize)
        return Outcome::failure("there is no complete screenshot to write");
    const fs::path sibling = SiblingName(path);
    if (Outcome written = WriteNewFile(
            sibling, BytesOf(std::string_view(imageData).substr(0, ScreenshotSize)), Flush::No);
        !written)
        return written;
    return MoveInto(sibling, path); // replaces a link itself, never what it names
}

Outcome WriteScreenshotFile(std::string_view imageData, const fs::path& chosen) {
    if (imageData.size() < ScreenshotSize)
        return Outcome::failure("there is no complete screenshot to write");
    return WriteFileSafely(imageData.substr(0, ScreenshotSize), chosen);
}

Outcome WriteFileSafely(std::string_view bytes, const fs::path& chosen) {
    return WriteFileAsMade(BytesOf(bytes), chosen);
}

namespace {

enum class InPlace { Allowed, Refused };

Outcome WriteAsMade(const FileContents& contents, const fs::path& chosen, InPlace inPlace) {
    std::string why;
    const std::optional<fs::path> followed = FollowLinks(chosen, why);
    if (!followed)
        return Outcome::failure(why);
    const fs::path& path = *followed;
    if (why = WhyNotWritable(path); !why.empty())
        return Outcome::failure(why);

    const fs::path sibling = SiblingName(path);
    bool mayNotCreate = false;
    if (Outcome written = WriteNewFile(sibling, contents, Flush::ToDisk, &mayNotCreate); !written) {
        std::error_code error;
        if (mayNotCreate && fs::is_regular_file(path, error)) {
            if (inPlace == InPlace::Refused)
                return Outcome::failure(
                    "no new file may be made in its folder (" + written.reason() +
                    "), and it is not written over where it is, where a failure part-way would "
                    "leave it half written; write it into a folder you may create files in");
            return WriteInPlace(path, contents, Flush::ToDisk);
        }
        return written;
    }
    KeepPermissions(path, sibling);
    return MoveInto(sibling, path);
}

} // namespace

Outcome WriteFileAsMade(const FileContents& contents, const fs::path& chosen) {
    return WriteAsMade(contents, chosen, InPlace::Allowed);
}

Outcome WriteFileAsMadeWhole(const FileContents& contents, const fs::path& chosen) {
    return WriteAsMade(contents, chosen, InPlace::Refused);
}

} // namespace kvd
