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
        // Screenshots were dropped while they waited.
        Notice,
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
    // What is said: why a block does not read, or the notice.
    std::string text{};

    bool fromLine() const { return kind == Kind::Screenshot || kind == Kind::Unreadable; }
};

// What has arrived but is not dealt with yet, in arrival order. The queue is
// bounded: when it is full the oldest block from the line waiting is dropped and
// counted, so the window can say so. A picture file asked for is never dropped.
class WaitingArrivals {
public:
    // About 275 KB of screenshots.
    static constexpr std::size_t Capacity = 100;

    void add(Arrival arrival);
    // The next one to deal with; none when none waits. A notice of what was
    // dropped comes first.
    std::optional<Arrival> next();
    std::size_t count() const { return waiting_.size(); }
    std::size_t count(Arrival::Kind kind) const;

private:
    std::deque<Arrival> waiting_;
    std::size_t dropped_ = 0;
};

} // namespace kvd
