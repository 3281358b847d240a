#include "capture/WaitingScreenshots.h"

#include <utility>

namespace kvd {

void WaitingScreenshots::add(std::string frame) {
    if (frames_.size() == Capacity) {
        frames_.pop_front();
        ++dropped_;
    }
    frames_.push_back(std::move(frame));
}

std::optional<std::string> WaitingScreenshots::next() {
    if (dialogOpen() || frames_.empty())
        return std::nullopt;
    std::string frame = std::move(frames_.front());
    frames_.pop_front();
    return frame;
}

std::size_t WaitingScreenshots::takeDropped() {
    return std::exchange(dropped_, 0);
}

void WaitingScreenshots::dialogClosed() {
    if (openDialogs_ > 0)
        --openDialogs_;
}

} // namespace kvd
