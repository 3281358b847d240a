#include "capture/PortLink.h"

#include "capture/ConfigurePort.h"
#include "capture/PortMessages.h"

namespace kvd {

Outcome PortLink::choose(const PortAddress& port, bool dtrFirst) {
    chosen_ = port;
    lostDevice_.reset();
    return ConfigurePort(comm_, port, dtrFirst);
}

bool PortLink::keepUp() {
    if (lostDevice_) {
        if (ConfigurePort(comm_, PortAddress::device(*lostDevice_), false))
            lostDevice_.reset();
        else
            lostReason_ = comm_.problem(); // it may fail otherwise now: no permission
        return false;
    }
    comm_.checkLine();
    if (comm_.state() != PortState::Lost)
        return false;
    lostDevice_ = comm_.deviceName();
    lostReason_ = comm_.problem();
    return true;
}

PortState PortLink::state() const {
    if (lostDevice_)
        return PortState::Lost;
    return comm_.isOpen() ? PortState::Open : PortState::Closed;
}

std::string PortLink::describe() const {
    if (lostDevice_)
        return DescribeLostPort(*lostDevice_, lostReason_);
    return DescribePortState(comm_, chosen_);
}

} // namespace kvd
