#include "capture/PortLink.h"

#include "capture/ConfigurePort.h"
#include "capture/PortMessages.h"

namespace kvd {

Outcome PortLink::choose(const PortAddress& port, bool dtrFirst) {
    chosen_ = port;
    Forget();
    return ConfigurePort(comm_, port, dtrFirst);
}

void PortLink::Forget() {
    lostDevice_.reset();
    standIn_.reset();
    movedFrom_.clear();
}

bool PortLink::keepUp() {
    if (lostDevice_) {
        Retry();
        return false;
    }
    comm_.checkLine();
    if (comm_.state() != PortState::Lost)
        return false;
    lostDevice_ = comm_.deviceName();
    lostIdentity_ = comm_.identity();
    lostReason_ = comm_.problem();
    standIn_.reset();
    movedFrom_.clear();
    return true;
}

// Where the lost device had an identity, its name is opened only while that
// device has it, and asked before it is opened: opening another program's
// pseudo-terminal would set its line to raw mode, and another adapter's bytes
// would be read as the instrument's. An adapter back under another name is
// opened there.
void PortLink::Retry() {
    std::string device = *lostDevice_;
    if (lostIdentity_.known()) {
        const DeviceIdentity now = comm_.identify(device);
        if (!now.sameAs(lostIdentity_)) {
            if (now.known())
                standIn_ = now;
            else
                standIn_.reset();
            device = comm_.findDevice(lostIdentity_);
            if (device.empty())
                return;
        }
    }
    if (!RetryPort(comm_, PortAddress::device(device))) {
        lostReason_ = comm_.problem(); // it may fail otherwise now: no permission
        return;
    }
    // Swapped in the moment between the question and the open.
    if (lostIdentity_.known() && !comm_.identity().sameAs(lostIdentity_)) {
        standIn_ = comm_.identity();
        comm_.close();
        return;
    }
    const std::string lostAs = *lostDevice_;
    Forget();
    if (device != lostAs)
        movedFrom_ = lostAs;
}

PortState PortLink::state() const {
    if (lostDevice_)
        return PortState::Lost;
    return comm_.isOpen() ? PortState::Open : PortState::Closed;
}

std::string PortLink::describe() const {
    if (lostDevice_) {
        if (standIn_)
            return DescribeTakenName(*lostDevice_, *standIn_, lostIdentity_);
        return DescribeLostPort(*lostDevice_, lostReason_, lostIdentity_);
    }
    std::string described = DescribePortState(comm_, chosen_);
    if (!movedFrom_.empty() && comm_.isOpen())
        described += " (the adapter that was " + movedFrom_ + ")";
    return described;
}

} // namespace kvd
