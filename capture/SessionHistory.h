#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <string>
#include <vector>

namespace kvd {

// One thing that came down the line, as the history keeps it.
struct HistoryEntry {
    // Counts from 1 since the program started; never reused.
    std::uint64_t serial = 0;
    std::time_t arrived = 0;
    // The screenshot's bitmap file, or the dropped block's raw bytes.
    std::string bytes;
    // Why the block was dropped; empty for a screenshot.
    std::string dropReason;

    bool dropped() const { return !dropReason.empty(); }
};

// What the History window offers for its current entry: a dropped block's bytes
// can be saved, but it has no picture to copy, print or show; the exports take
// the whole history, so they need only something in it.
struct HistoryActions {
    bool save = false;
    bool copy = false;
    bool print = false;
    bool showLarge = false;
    bool exportAny = false;
};

// Why a block that looked like a screenshot was dropped, with what the bitmap
// reader said of it.
std::string UnreadableReason(const std::string& readerSays);

// Every screenshot of the session, and every block dropped as unreadable, newest
// first. Only the bytes are kept: nothing is decoded until someone looks. Beyond
// Capacity the oldest is let go, so a long session stays within about 2.75 MB.
class SessionHistory {
public:
    static constexpr std::size_t Capacity = 1000;

    void add(std::string bytes, std::time_t arrived, std::string dropReason = {});
    std::size_t size() const { return entries_.size(); }
    // 0 is the newest.
    const HistoryEntry& at(std::size_t index) const { return entries_[index]; }
    // The serial of the newest entry; 0 before the first.
    std::uint64_t newestSerial() const { return serial_; }
    // How many older entries were let go to stay within Capacity.
    std::uint64_t forgotten() const { return serial_ - entries_.size(); }

    // How many of the newest entries came after the one with serial `listed`
    // (all that are kept, when more came than are kept).
    std::size_t newerThan(std::uint64_t listed) const;
    // The entry with that serial; none once it has been let go.
    const HistoryEntry* bySerial(std::uint64_t serial) const;
    // What an export takes: copies of the entries with the `selected` serials
    // when two or more are selected (the user picked them out), else of every
    // entry kept. Newest first.
    std::vector<HistoryEntry> toExport(const std::vector<std::uint64_t>& selected) const;
    // What can be done with `current` (none: nothing is current).
    HistoryActions actionsFor(const HistoryEntry* current) const;
    // The entry as a list shows it: its arrival time, and why it was dropped.
    static std::string describe(const HistoryEntry& entry);
    // One line on what is kept: "3 screenshots, 1 dropped, newest first.", and
    // whether older ones were let go.
    std::string summary() const;

private:
    std::deque<HistoryEntry> entries_;
    std::uint64_t serial_ = 0;
};

} // namespace kvd
