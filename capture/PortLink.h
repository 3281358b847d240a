#pragma once

#include <optional>
#include <string>

#include "platform/Outcome.h"
#include "platform/PortAddress.h"
#include "platform/SerialPort.h"

namespace kvd {

// The serial link as the window keeps it: the port the user chose and, once that
// port has failed under us (an adapter unplugged), the device it was lost as. A
// lost port is retried on that device alone, never on whatever device its port
// number names now: with two adapters, unplugging the first moves the second
// up to number 1, and it must not be opened in the first one's place. Nor is
// it reopened as whatever device has its name now: where the system hands names
// out in the order devices come (/dev/ttyUSB0, /dev/pts/3, COM5), the device
// under the name is asked who it is first, and only the one that was lost is
// opened; an adapter back under another name is followed there.
class PortLink {
public:
    explicit PortLink(SerialPort& comm) : comm_(comm) {}

    // The user chose a port (or start-up did): any loss is forgotten and the
    // link reopens on it.
    Outcome choose(const PortAddress& port, bool dtrFirst);
    // Start-up has opened `port`, or tried it: the link is on it.
    void adopt(const PortAddress& port) {
        chosen_ = port;
        Forget();
    }
    // Each tick: notices a port that failed or hung up, and retries a lost one.
    // True when the link was found lost just now. What the port had received
    // can still be read once; whatever of it is not a whole screenshot was cut off
    // by the loss and must not be joined to what comes after.
    bool keepUp();

    // Where the link stands, as the window shows it: Lost from the loss until the
    // device is back, though the port itself was closed and retried meanwhile.
    PortState state() const;
    const PortAddress& chosen() const { return chosen_; }
    // The device and how it stands, for the selector's tooltip.
    std::string describe() const;

private:
    void Retry();
    void Forget();

    SerialPort& comm_;
    PortAddress chosen_ = PortAddress::number(1);
    std::optional<std::string> lostDevice_;
    std::string lostReason_;
    // Who the lost device was, as it opened.
    DeviceIdentity lostIdentity_;
    // Another device that has the lost device's name now, if one does.
    std::optional<DeviceIdentity> standIn_;
    // The name the device was lost under, once it is back under another.
    std::string movedFrom_;
};

} // namespace kvd
