#pragma once

#include <cstddef>
#include <ctime>
#include <deque>
#include <optional>
#include <string>

#include "platform/Picture.h"

namespace kvd {

// Something to deal with on the window, in the order it came.
struct Arrival {
    enum class Kind {
        // A whole screenshot from the line; `bytes` is its bitmap file.
        Screenshot,
        // A picture file the user asked to see; `bytes` is its path.
        PictureFile,
        // Screenshots were dropped while they waited; `bytes` says so.
        Notice,
    };
    Kind kind = Kind::Screenshot;
    std::string bytes;
    // When a screenshot came off the line.
    std::time_t arrived = 0;
    // The screenshot's picture, when it was read as it was cut from the line.
    std::optional<Picture> picture{};
};

// What has arrived but is not dealt with yet, in arrival order, and whether one
// of the window's dialogs is open. While a dialog is open everything waits; once
// the last dialog closes each is dealt with in turn. The queue is bounded: when
// it is full the oldest waiting screenshot is dropped and counted, so the window
// can say so. A picture file asked for is never dropped.
class WaitingArrivals {
public:
    // About 275 KB of screenshots.
    static constexpr std::size_t Capacity = 100;

    void add(Arrival arrival);
    // The next one to deal with; none while a dialog is open or none waits. A
    // notice of what was dropped comes first.
    std::optional<Arrival> next();
    std::size_t count() const { return waiting_.size(); }
    std::size_t count(Arrival::Kind kind) const;

    // Dialogs nest (a question over a Save dialog): the count says how deep.
    void dialogOpened() { ++openDialogs_; }
    void dialogClosed();
    bool dialogOpen() const { return openDialogs_ > 0; }

private:
    std::deque<Arrival> waiting_;
    std::size_t dropped_ = 0;
    int openDialogs_ = 0;
};

} // namespace kvd
