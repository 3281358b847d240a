#include "files/FolderWalk.h"

#include <cerrno>
#include <system_error>
#include <vector>

#include "platform/Utf8Path.h"

namespace kvd {

namespace fs = std::filesystem;

namespace {

// As many links as Linux follows in one path.
constexpr int MaxLinks = 40;

class Walk {
public:
    Walk(FolderCalls& calls, std::string& whyNot) : calls_(calls), whyNot_(whyNot) {}

    std::optional<Reached> to(const fs::path& chosen, LastLink last) {
        std::error_code error;
        const fs::path absolute = fs::absolute(chosen, error);
        if (error)
            return Failed(error.value());
        if (!StartAt(absolute.root_path()))
            return std::nullopt;
        GoOnWith(absolute.relative_path());
        while (!ahead_.empty()) {
            const fs::path part = ahead_.back();
            ahead_.pop_back();
            const bool isLast = ahead_.empty();
            if (isLast && (part.empty() || part == "." || part == "..")) {
                whyNot_ = "it names a folder, not a file; choose a file name";
                return std::nullopt;
            }
            const bool stepped = isLast ? LookAtLast(part, last) : StepInto(part);
            if (!stepped)
                return std::nullopt;
            if (reached_)
                return std::move(reached_);
        }
        whyNot_ = "it names a folder, not a file; choose a file name";
        return std::nullopt;
    }

private:
    std::nullopt_t Failed(int error) {
        whyNot_ = FileErrorText(error);
        return std::nullopt;
    }

    bool StartAt(const fs::path& root) {
        folder_ = calls_.openStart(root);
        shown_ = root;
        return folder_.isOpen() || (Failed(folder_.error()), false);
    }

    void GoOnWith(const fs::path& path) {
        const std::vector<fs::path> parts(path.begin(), path.end());
        ahead_.insert(ahead_.end(), parts.rbegin(), parts.rend());
    }

    // One folder further. A folder that is swapped for a link between the look
    // and the open is not opened (the open never follows a link): it is looked
    // at again.
    bool StepInto(const fs::path& part) {
        if (part.empty() || part == ".")
            return true;
        if (part != "..") {
            const FolderEntry entry = calls_.look(folder_, part);
            if (entry.error != 0)
                return Failed(entry.error), false;
            if (entry.kind == FolderEntry::Kind::Link)
                return Follow(part, entry);
            if (entry.kind != FolderEntry::Kind::Folder && entry.kind != FolderEntry::Kind::Missing)
                return Failed(ENOTDIR), false;
        }
        // A folder missing on the way fails to open, in the system's own words.
        HeldFolder next = calls_.openFolder(folder_, part);
        if (!next.isOpen()) {
            const bool swapped = next.error() == ELOOP || next.error() == ENOTDIR;
            if (!swapped || ++hops_ > MaxLinks)
                return Failed(next.error()), false;
            ahead_.push_back(part);
            return true;
        }
        folder_ = std::move(next);
        shown_ = part == ".." ? shown_.parent_path() : shown_ / part;
        return true;
    }

    bool LookAtLast(const fs::path& name, LastLink last) {
        FolderEntry entry = calls_.look(folder_, name);
        if (entry.error != 0)
            return Failed(entry.error), false;
        if (entry.kind == FolderEntry::Kind::Link && last == LastLink::Followed)
            return Follow(name, entry);
        reached_ = Reached{std::move(folder_), name, entry, shown_};
        return true;
    }

    // The system's rule for following `link`, a link in the folder held.
    bool MayFollow(const FolderEntry& link) {
        if (link.ownedByUser || link.owner.empty())
            return true;
        const FolderEntry folder = calls_.look(folder_, {});
        return !folder.sharedByAll || folder.owner == link.owner;
    }

    bool Follow(const fs::path& name, const FolderEntry& link) {
        const std::string shown = Utf8FromPath(shown_ / name);
        if (!MayFollow(link)) {
            whyNot_ = shown +
                      " is a link that another user made in a shared folder; such links are not "
                      "followed, by the system or by this program. Remove the link or choose "
                      "another name";
            return false;
        }
        const fs::path target = calls_.readLink(folder_, name);
        if (target.empty()) {
            whyNot_ = "the link " + shown + " cannot be read";
            return false;
        }
        if (++hops_ > MaxLinks)
            return Failed(ELOOP), false;
        if (target.has_root_path()) {
            GoOnWith(target.relative_path());
            return StartAt(target.root_path());
        }
        GoOnWith(target);
        return true;
    }

    FolderCalls& calls_;
    std::string& whyNot_;
    HeldFolder folder_;
    fs::path shown_;
    std::vector<fs::path> ahead_; // the next part last
    int hops_ = 0;
    std::optional<Reached> reached_;
};

} // namespace

std::optional<Reached> WalkTo(const fs::path& chosen, LastLink last, FolderCalls& calls,
                              std::string& whyNot) {
    return Walk(calls, whyNot).to(chosen, last);
}

} // namespace kvd
