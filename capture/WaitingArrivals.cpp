#include "capture/WaitingArrivals.h"

#include <algorithm>
#include <utility>

namespace kvd {

namespace {

std::string DroppedNotice(std::size_t dropped) {
    return "More screenshots arrived while a dialog was open than the program keeps "
           "waiting (" +
           std::to_string(WaitingArrivals::Capacity) + "). The oldest " + std::to_string(dropped) +
           (dropped == 1 ? " was" : " were") + " dropped; the others follow.";
}

} // namespace

void WaitingArrivals::add(Arrival arrival) {
    if (waiting_.size() >= Capacity) {
        const auto oldest = std::find_if(waiting_.begin(), waiting_.end(),
                                         [](const Arrival& a) { return a.fromLine(); });
        if (oldest != waiting_.end()) {
            waiting_.erase(oldest);
            ++dropped_;
        }
    }
    waiting_.push_back(std::move(arrival));
}

std::optional<Arrival> WaitingArrivals::next() {
    if (dropped_ > 0)
        return Arrival{.kind = Arrival::Kind::Notice,
                       .text = DroppedNotice(std::exchange(dropped_, 0))};
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
