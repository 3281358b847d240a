#include "capture/SessionHistory.h"

#include <algorithm>

#include "capture/ClockTime.h"

namespace kvd {

std::string UnreadableReason(const std::string& readerSays) {
    return "starts like a screenshot but is not a readable bitmap (" + readerSays + ")";
}

void SessionHistory::add(std::string bytes, std::time_t arrived, std::string dropReason) {
    entries_.push_front({++serial_, arrived, std::move(bytes), std::move(dropReason)});
    if (entries_.size() > Capacity)
        entries_.pop_back();
}

std::size_t SessionHistory::newerThan(std::uint64_t listed) const {
    return std::size_t(std::min<std::uint64_t>(serial_ - std::min(listed, serial_), size()));
}

const HistoryEntry* SessionHistory::bySerial(std::uint64_t serial) const {
    const std::uint64_t age = serial_ - serial;
    return serial >= 1 && serial <= serial_ && age < size() ? &entries_[std::size_t(age)] : nullptr;
}

std::vector<HistoryEntry>
SessionHistory::toExport(const std::vector<std::uint64_t>& selected) const {
    std::vector<HistoryEntry> entries;
    for (const HistoryEntry& entry : entries_)
        if (selected.size() < 2 ||
            std::find(selected.begin(), selected.end(), entry.serial) != selected.end())
            entries.push_back(entry);
    return entries;
}

std::string SessionHistory::describe(const HistoryEntry& entry) {
    std::string text = ClockTime(entry.arrived);
    if (entry.dropped())
        text += "\ndropped: it " + entry.dropReason;
    return text;
}

std::string SessionHistory::summary() const {
    const auto dropped =
        std::size_t(std::count_if(entries_.begin(), entries_.end(),
                                  [](const HistoryEntry& entry) { return entry.dropped(); }));
    const std::size_t shots = size() - dropped;
    std::string text = std::to_string(shots) + " screenshot" + (shots == 1 ? "" : "s");
    if (dropped > 0)
        text += ", " + std::to_string(dropped) + " dropped";
    text += ", newest first.";
    if (forgotten() > 0)
        text += " Only the last " + std::to_string(Capacity) + " are kept.";
    return text;
}

HistoryActions SessionHistory::actionsFor(const HistoryEntry* current) const {
    const bool picture = current != nullptr && !current->dropped();
    return {current != nullptr, picture, picture, picture, !entries_.empty()};
}

} // namespace kvd
