#include "capture/WaitingArrivals.h"

#include <algorithm>
#include <utility>

namespace kvd {

void WaitingArrivals::add(Arrival arrival) {
    waiting_.push_back(std::move(arrival));
    DropOldestPastCapacity();
}

void WaitingArrivals::putBack(Arrival arrival) {
    waiting_.push_front(std::move(arrival));
    DropOldestPastCapacity();
}

void WaitingArrivals::DropOldestPastCapacity() {
    while (waiting_.size() > Capacity) {
        const auto oldest = std::find_if(waiting_.begin(), waiting_.end(),
                                         [](const Arrival& a) { return a.fromLine(); });
        if (oldest == waiting_.end())
            return;
        waiting_.erase(oldest);
        ++dropped_;
    }
}

std::optional<Arrival> WaitingArrivals::next() {
    if (dropped_ > 0)
        return Arrival{.kind = Arrival::Kind::Dropped, .dropped = std::exchange(dropped_, 0)};
    if (waiting_.empty())
        return std::nullopt;
    Arrival arrival = std::move(waiting_.front());
    waiting_.pop_front();
    return arrival;
}

std::size_t WaitingArrivals::count(Arrival::Kind kind) const {
    return std::size_t(std::count_if(waiting_.begin(), waiting_.end(),
                                     [kind](const Arrival& a) { return a.kind == kind; }));
}

} // namespace kvd
