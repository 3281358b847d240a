#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>

namespace kvd {

// Complete screenshots that have arrived but are not shown yet, in arrival
// order, and whether one of the window's dialogs is open. While a dialog is open
// screenshots wait; once the last dialog closes they are dealt with one at a
// time. The queue is bounded: when it is full the oldest waiting screenshot is
// dropped and counted, so the window can say so.
class WaitingScreenshots {
public:
    // About 275 KB of screenshots.
    static constexpr std::size_t Capacity = 100;

    void add(std::string frame);
    // The next screenshot to show; none while a dialog is open or none waits.
    std::optional<std::string> next();
    std::size_t count() const { return frames_.size(); }
    // How many were dropped since the last call.
    std::size_t takeDropped();

    // Dialogs nest (a question over a Save dialog): the count says how deep.
    void dialogOpened() { ++openDialogs_; }
    void dialogClosed();
    bool dialogOpen() const { return openDialogs_ > 0; }

private:
    std::deque<std::string> frames_;
    std::size_t dropped_ = 0;
    int openDialogs_ = 0;
};

} // namespace kvd
