#include "capture/SessionHistory.h"

namespace kvd {

std::string UnreadableReason(const std::string& readerSays) {
    return "starts like a screenshot but is not a readable bitmap (" + readerSays + ")";
}

void SessionHistory::add(std::string bytes, std::time_t arrived, std::string dropReason) {
    entries_.push_front({++serial_, arrived, std::move(bytes), std::move(dropReason)});
    if (entries_.size() > Capacity)
        entries_.pop_back();
}

} // namespace kvd
