#pragma once

#include <cstddef>
#include <ctime>
#include <deque>
#include <optional>
#include <string>

#include "platform/Picture.h"

namespace kvd {

// Something to deal with, in the order it came.
struct Arrival {
    enum class Kind {
        // A whole screenshot from the line, read as a picture as it was cut.
        Screenshot,
        // A block from the line that starts like a screenshot but does not read.
        Unreadable,
        // A picture file the user asked to see.
        PictureFile,
        // Blocks from the line were dropped while they waited (`dropped`).
        Dropped,
    };
    Kind kind = Kind::Screenshot;
    // A screenshot's bitmap file, or the unreadable block's bytes.
    std::string bytes{};
    // When it came off the line.
    std::time_t arrived = 0;
    // The screenshot's picture.
    std::optional<Picture> picture{};
    // A picture file's path.
    std::string path{};
    // Why a block does not read.
    std::string text{};
    // How many were dropped.
    std::size_t dropped = 0;

    bool fromLine() const { return kind == Kind::Screenshot || kind == Kind::Unreadable; }
};

// What has arrived but is not dealt with yet, in arrival order. The queue is
// bounded: when it is full the oldest block from the line waiting is dropped and
// counted, so that it can be said. A picture file asked for is never dropped.
class WaitingArrivals {
public:
    // About 275 KB of screenshots.
    static constexpr std::size_t Capacity = 100;

    void add(Arrival arrival);
    // The next one to deal with; none when none waits. What was dropped is
    // told first.
    std::optional<Arrival> next();
    // One that could not be dealt with yet waits again, first in line: it is the
    // next, and the first to be dropped when the queue is full.
    void putBack(Arrival arrival);
    std::size_t count() const { return waiting_.size(); }
    std::size_t count(Arrival::Kind kind) const;

private:
    void DropOldestPastCapacity();

    std::deque<Arrival> waiting_;
    std::size_t dropped_ = 0;
};

} // namespace kvd
