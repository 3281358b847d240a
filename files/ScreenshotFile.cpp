#include "files/ScreenshotFile.h"

#include <algorithm>
#include <cerrno>
#include <random>
#include <system_error>
#include <vector>

#include "capture/ScreenshotFormat.h"
#include "files/FolderWalk.h"
#include "platform/FolderCalls.h"
#include "platform/NewFile.h"
#include "platform/Utf8Path.h"

namespace kvd {

namespace fs = std::filesystem;

namespace {

std::string systemReason(int error) {
    return FileErrorText(error);
}

// Whether the UTF-8 byte or UTF-16 unit `c` goes on a character begun before it.
[[maybe_unused]] bool GoesOnACharacter(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}
[[maybe_unused]] bool GoesOnACharacter(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// A name beside the target that no other file has; creating it as a new file
// makes sure of it, and a link planted under that name is never followed. A long
// name is shortened, a whole character at a time, so that the temporary name
// fits in the folder too: any name the folder takes can be written.
fs::path SiblingName(const fs::path& name, std::size_t limit) {
    static std::mt19937_64 generator{std::random_device{}()};
    const fs::path::string_type tag =
        fs::path(".part-" + std::to_string(generator() % 1000000000ULL)).native();
    const fs::path::string_type& whole = name.native();
    std::size_t keep = limit > tag.size() ? std::min(whole.size(), limit - tag.size()) : 0;
    while (keep > 0 && keep < whole.size() && GoesOnACharacter(whole[keep]))
        --keep;
    return fs::path(whole.substr(0, keep) + tag);
}

enum class Flush { ToDisk, No };

// Why what is at the name must not be replaced: it is read-only (no one may
// write it, which binds the superuser too), this user may not write it, or it is
// no file. Empty when it may be, or when there is nothing there.
std::string WhyNotReplaceable(const Reached& at, FolderCalls& calls) {
    using Kind = FolderEntry::Kind;
    switch (at.entry.kind) {
    case Kind::Missing:
    case Kind::Link: // a link kept as a link: it is replaced, never what it names
        return {};
    case Kind::Folder:
        return "it is a folder; choose a file name";
    case Kind::Other:
        // A device, a pipe or a socket is never replaced by a file (run as root,
        // a link to /dev/null would otherwise replace /dev/null).
        return "it is a device, a pipe or a socket, not a file; choose a file to write";
    case Kind::File:
        break;
    }
    if ((at.entry.permissions & 0222) == 0)
        return "the file is read-only";
    if (const int error = calls.mayWrite(at.folder, at.name); error != 0)
        return systemReason(error);
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

// What kind of write it is: where the name may already be taken, whether a
// link at it is followed, and whether it may be written over in place.
struct WriteRules {
    LastLink lastLink = LastLink::Followed;
    bool replace = true;
    bool inPlace = false;
    Flush flush = Flush::ToDisk;
};

// Overwrites an existing file where it is. Only for a file the user may write in
// a folder they may not: no new file can be made beside it there, so the safe
// write cannot be done, and refusing would leave the user no way to save over a
// file that is theirs to change. Unlike the safe write, a failure part-way (a
// full disk) can leave the file damaged, and the outcome says so; it is done only
// where the user has agreed to replace that file.
Outcome WriteInPlace(const Reached& at, const FileContents& contents, Flush flush,
                     FolderCalls& calls) {
    NewFile file = calls.openExisting(at.folder, at.name);
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

// The mode of the new file: a file that is replaced keeps who may read and
// write it, but nothing that would give the new file away: in a shared folder
// the old one may be another user's, set to run (as its owner) or open to every
// user's writes, and the new one is ours. A picture or a report is never a
// program.
unsigned NewMode(const Reached& at, FolderCalls& calls) {
    constexpr unsigned givenAway = 07000 | 0111 | 0002; // set-id, sticky, run, others' write
    if (at.entry.kind == FolderEntry::Kind::File)
        return at.entry.permissions & ~givenAway;
    return calls.newFileMode() & ~givenAway;
}

// A move that another program (a virus scanner, an indexer, a preview) held up
// all through its retries: the finished file is kept under its own name, and the
// reason says where.
Outcome KeptAside(int error, const Reached& at, const fs::path& sibling) {
    return Outcome::keptAside(
        systemReason(error) + " (another program, such as a virus scanner, " + "kept " +
        Utf8FromPath(at.name) + " open); the finished file is kept as " +
        Utf8FromPath(at.shownFolder / sibling) + ": rename it once that program lets go");
}

// A move the system refused for good: this user may add files to the folder but
// not rename, replace or delete them (NTFS "Write" without "Modify" on a share;
// another user's file in a sticky folder). Where the new file could not be
// deleted either, it is kept under its own name, and the reason says where.
Outcome RefusedMove(const std::string& reason, const Reached& at, const fs::path& sibling,
                    FolderCalls& calls) {
    const std::string what = reason + " (new files may be made in " + Utf8FromPath(at.shownFolder) +
                             ", but not renamed or replaced there)";
    const std::string todo =
        "ask whoever manages the folder for the right to modify files in it, or save into "
        "another folder";
    if (calls.look(at.folder, sibling).kind == FolderEntry::Kind::Missing)
        return Outcome::failure(what + "; " + todo);
    return Outcome::keptAside(what + "; the finished file is kept as " +
                              Utf8FromPath(at.shownFolder / sibling) + ": " + todo);
}

// Where no new file may be made in the folder, a file the user may write is
// written over in place if the rules allow it.
Outcome WhenNoNewFile(const Reached& at, const FileContents& contents, const WriteRules& rules,
                      int error, FolderCalls& calls) {
    const bool refused = error == EACCES || error == EPERM;
    if (!refused || at.entry.kind != FolderEntry::Kind::File || !rules.replace)
        return Outcome::failure(systemReason(error));
    if (!rules.inPlace)
        return Outcome::failure(
            "no new file may be made in its folder (" + systemReason(error) +
            "), and it is not written over where it is, where a failure part-way would leave it "
            "half written; write it into a folder you may create files in");
    return WriteInPlace(at, contents, rules.flush, calls);
}

// The one place the program creates a file. The new file is made beside the
// target under a name no file has, readable by this user alone until it is
// given its mode, which it gets before its first byte; it is written, flushed
// (unless the rules say not) and then renamed over the target, all within the
// folder the walk reached and holds. A failure leaves nothing of it behind,
// unless another program held the target, or the folder lets it be made but
// neither renamed nor deleted, when it is kept and the reason says where.
// Nothing when the name must be new and is taken.
std::optional<Outcome> Write(const FileContents& contents, const fs::path& chosen,
                             const WriteRules& rules) {
    FolderCalls& calls = CurrentFolderCalls();
    std::string why;
    const std::optional<Reached> at = WalkTo(chosen, rules.lastLink, calls, why);
    if (!at)
        return Outcome::failure(why);
    if (!rules.replace && at->entry.kind != FolderEntry::Kind::Missing)
        return std::nullopt;
    if (why = WhyNotReplaceable(*at, calls); !why.empty())
        return Outcome::failure(why);

    const fs::path sibling = SiblingName(at->name, calls.nameLimit(at->folder));
    NewFile file = calls.createNew(at->folder, sibling);
    if (!file.isOpen())
        return WhenNoNewFile(*at, contents, rules, file.error(), calls);
    // A replaced file keeps its group too (a folder may give new files its own);
    // where it cannot, the group the new file has gets no rights to it.
    unsigned mode = NewMode(*at, calls);
    if (at->entry.kind == FolderEntry::Kind::File && !file.keepGroup(at->entry.group))
        mode &= ~0070U;
    Outcome written = file.setMode(mode) ? WriteAndClose(file, contents, rules.flush, false)
                                         : Outcome::failure(systemReason(file.error()));
    const int moved = written ? calls.move(at->folder, sibling, at->name, rules.replace) : 0;
    if (written && moved == 0)
        return Outcome::success();
    if (written && moved == EBUSY)
        return KeptAside(moved, *at, sibling);
    const std::string reason = written ? systemReason(moved) : std::string{};
    calls.remove(at->folder, sibling);
    if (!written)
        return written;
    // Windows refuses a move onto a folder's name as access denied; and one onto
    // any name where this user may not rename, when the new file then stays
    // (that is no taken name: the next would leave one more).
    const auto exists = [&](const fs::path& name) {
        return calls.look(at->folder, name).kind != FolderEntry::Kind::Missing;
    };
    if (!rules.replace &&
        (moved == EEXIST || (moved == EACCES && exists(at->name) && !exists(sibling))))
        return std::nullopt;
    if (moved == EACCES || moved == EPERM)
        return RefusedMove(reason, *at, sibling, calls);
    return Outcome::failure(reason);
}

// For the writes that never find the name taken.
Outcome Written(const std::optional<Outcome>& outcome) {
    return outcome.value_or(Outcome::failure("the name is taken"));
}

constexpr WriteRules Agreed{};
constexpr WriteRules AgreedInPlace{LastLink::Followed, true, true, Flush::ToDisk};
constexpr WriteRules NewNameOnly{LastLink::Kept, false, false, Flush::ToDisk};
constexpr WriteRules Temporary{LastLink::Kept, true, false, Flush::No};

std::string_view OneScreenshot(std::string_view imageData) {
    return imageData.substr(0, ScreenshotSize);
}

Outcome NoScreenshot() {
    return Outcome::failure("there is no complete screenshot to write");
}

} // namespace

std::optional<Outcome> WriteNewScreenshotFile(const std::string& imageData, const fs::path& path) {
    if (imageData.size() < ScreenshotSize)
        return NoScreenshot();
    return WriteFileUnderNewName(OneScreenshot(imageData), path);
}

std::optional<Outcome> WriteFileUnderNewName(std::string_view bytes, const fs::path& path) {
    return Write(BytesOf(bytes), path, NewNameOnly);
}

Outcome WriteTemporaryScreenshotFile(const std::string& imageData, const fs::path& path) {
    if (imageData.size() < ScreenshotSize)
        return NoScreenshot();
    return Written(Write(BytesOf(OneScreenshot(imageData)), path, Temporary));
}

Outcome WriteScreenshotFile(std::string_view imageData, const fs::path& chosen) {
    if (imageData.size() < ScreenshotSize)
        return NoScreenshot();
    return WriteFileSafely(OneScreenshot(imageData), chosen);
}

Outcome WriteFileSafely(std::string_view bytes, const fs::path& chosen) {
    return WriteFileAsMade(BytesOf(bytes), chosen);
}

Outcome WriteFileAsMade(const FileContents& contents, const fs::path& chosen) {
    return Written(Write(contents, chosen, AgreedInPlace));
}

Outcome WriteFileAsMadeWhole(const FileContents& contents, const fs::path& chosen) {
    return Written(Write(contents, chosen, Agreed));
}

Outcome CheckFolderToWriteIn(const fs::path& folder) {
    std::string why;
    if (WalkTo(folder / "kvd62-capture", LastLink::Kept, CurrentFolderCalls(), why))
        return Outcome::success();
    return Outcome::failure(why);
}

std::string SaveFailedMessage(const std::string& path, const Outcome& written,
                              const std::string& what) {
    std::string message = what + " could not be saved to " + path + ": " + written.reason();
    if (written.leftDamaged())
        return message + ".\r\nThe file was being written over in place (no new file can be "
                         "made in its folder), so it may now be damaged: save the screenshot "
                         "again, to another folder if this disk is full.";
    // Kept under another name, the reason says where: the file is not lost.
    return message + (written.leftKeptAside() ? "." : ".\r\nNothing was written there.");
}

} // namespace kvd
